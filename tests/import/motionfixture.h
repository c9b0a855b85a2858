#pragma once

#include "bvhfixture.h"
#include "kvscene.h"
#include "textbookbvh.h"

#include <algorithm>
#include <cmath>

// Figures and files for the import tests, in the entries of bvhfixture.h.
namespace motiontest {

using kvtest::hierarchy;
using kvtest::vec;
using Host = kvtest::TestHost;

// A figure added to the scene as the import's target.
inline KvSkeleton *addFigure(const QStringList &bones, int order = KvRotationOrder::XYZ)
{
    KvSkeleton *skeleton = kvtest::figure(QStringLiteral("figure"), bones, order);
    kvScene->addNode(skeleton);
    return bvhState().targetSkeleton = skeleton;
}

// Reads text into the joint list and maps each joint to the bone of its name
// unless map says "joint=bone", "joint=" (unmapped) or "joint=*" (the
// skeleton node); "!joint" switches a joint off (its joint record, as the
// mapping dialog does for a joint without a bone).
inline void readAndMap(CBvhIn &in, const QByteArray &text, KvSkeleton *skeleton, const QStringList &map = {})
{
    in.resetParseState();
    for (const QByteArray &line : text.split('\n'))
        in.parseLine(QString::fromLatin1(line));
    for (CBvhHeader *r : bvhState().jointList) {
        KvNode *node = r->name.isEmpty() ? nullptr : skeleton->findBone(r->name);
        for (const QString &entry : map) {
            const QString joint = entry.section(QLatin1Char('='), 0, 0);
            if (entry == QLatin1Char('!') + r->name && r->type == Joint)
                r->applyChannel = false;
            else if (joint == r->name && entry.endsWith(QLatin1Char('*')))
                node = skeleton;
            else if (joint == r->name)
                node = skeleton->findBone(entry.section(QLatin1Char('='), 1));
        }
        r->mappedNode = node;
        r->mappedName = node ? node->getLabel() : QString();
    }
}

// The matrix of a host rotation, built only from multVec: column j is the
// image of axis j, as the textbook's matrices act on column vectors.
inline kvtest::Mat3 toMat(const KvQuat &q)
{
    kvtest::Mat3 m{};
    for (size_t j = 0; j < 3; ++j) {
        const KvVec3d image = q.multVec(KvVec3d(j == 0, j == 1, j == 2));
        m[0][j] = image.x;
        m[1][j] = image.y;
        m[2][j] = image.z;
    }
    return m;
}

inline kvtest::Mat3 transposed(const kvtest::Mat3 &m)
{
    return {{{m[0][0], m[1][0], m[2][0]}, {m[0][1], m[1][1], m[2][1]}, {m[0][2], m[1][2], m[2][2]}}};
}

constexpr double degreesPerRadian = 180.0 / 3.14159265358979323846;

// The angle of the rotation between two rotations, in degrees.
inline double angleDeg(const kvtest::Mat3 &a, const kvtest::Mat3 &b)
{
    const kvtest::Mat3 r = kvtest::multiply(a, transposed(b));
    return std::acos(std::clamp((r[0][0] + r[1][1] + r[2][2] - 1.0) / 2.0, -1.0, 1.0)) * degreesPerRadian;
}

// The angle between two directions, in degrees.
inline double angleDeg(const kvtest::Vec3 &a, const kvtest::Vec3 &b)
{
    const double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    const double lengths = std::sqrt((a[0] * a[0] + a[1] * a[1] + a[2] * a[2]) * (b[0] * b[0] + b[1] * b[1] + b[2] * b[2]));
    return std::acos(std::clamp(dot / lengths, -1.0, 1.0)) * degreesPerRadian;
}

template <typename V>
kvtest::Vec3 toVec(const V &v)
{
    return {v.x, v.y, v.z};
}

} // namespace motiontest
