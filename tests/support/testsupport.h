#pragma once

#include "kvquat.h"
#include "kvvec3.h"

#include <QString>

// Absolute-tolerance compares: QCOMPARE's relative compare fails near zero.
namespace kvtest {

// Path of a file under the repository's data/ folder.
QString dataFile(const QString &relativePath);

bool near(double a, double b, double tolerance);
bool near(const KvVec3 &a, const KvVec3 &b, double tolerance);
bool near(const KvVec3d &a, const KvVec3d &b, double tolerance);
// Rotations compared up to sign: q and -q are the same rotation.
bool sameRotation(const KvQuat &a, const KvQuat &b, double toleranceRad);

QString toString(const KvVec3 &v);
QString toString(const KvVec3d &v);
QString toString(const KvQuat &q);

} // namespace kvtest
