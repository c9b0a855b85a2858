#pragma once

#include "kvfigurebuilder.h"
#include "kvquat.h"
#include "kvvec3.h"

#include <QList>
#include <QString>

class KvFloatProperty;

// Absolute-tolerance compares: QCOMPARE's relative compare fails near zero.
namespace kvtest {

// Path of a file under the repository's data/ folder.
QString dataFile(const QString &relativePath);

// "/dev/full" when it is the character device that refuses every write;
// empty otherwise (a test then leaves that case out rather than write into a
// regular file that a faulty save-file left in its place).
QString fullDevice();

bool near(double a, double b, double tolerance);
bool near(const KvVec3 &a, const KvVec3 &b, double tolerance);
bool near(const KvVec3d &a, const KvVec3d &b, double tolerance);
// Rotations compared up to sign: q and -q are the same rotation.
bool sameRotation(const KvQuat &a, const KvQuat &b, double toleranceRad);

// The times of property's keys, in stored order.
QList<int> keyTimes(const KvFloatProperty &property);

struct TextbookBvh;

// A figure with one bone per joint of bvh, named after it: origins at the
// joints' rest positions, end points at the first child joint (or the End
// Site; the origin itself when there is neither), rotation order as the
// joint's CHANNELS line applies its rotations (XYZ without rotation channels).
KvFigureDesc figureFromBvh(const TextbookBvh &bvh, const QString &name);

QString toString(const KvVec3 &v);
QString toString(const KvVec3d &v);
QString toString(const KvQuat &q);

} // namespace kvtest
