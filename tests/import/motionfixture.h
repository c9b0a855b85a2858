#pragma once

#include "bvhin.h"
#include "bvhstate.h"

#include "kvfigurebuilder.h"
#include "kvnode.h"
#include "kvscene.h"
#include "textbookbvh.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

// Small figures and files for the motion tests, written as entries
// "name<parent@x y z:channels"; every part after the name is optional.
namespace motiontest {

inline KvVec3 vec(const QString &text)
{
    const QStringList v = text.split(QLatin1Char(' '));
    return KvVec3(v.value(0).toFloat(), v.value(1).toFloat(), v.value(2).toFloat());
}

struct Entry
{
    QString name, parent, position, channels;
    explicit Entry(const QString &e)
        : name(e.section(QLatin1Char(':'), 0, 0).section(QLatin1Char('@'), 0, 0).section(QLatin1Char('<'), 0, 0))
        , parent(e.section(QLatin1Char(':'), 0, 0).section(QLatin1Char('@'), 0, 0).section(QLatin1Char('<'), 1))
        , position(e.section(QLatin1Char(':'), 0, 0).section(QLatin1Char('@'), 1))
        , channels(e.section(QLatin1Char(':'), 1))
    {
    }
};

// Bones at their origins (figure space), end points at their first child,
// added to the scene as the import's target.
inline KvSkeleton *addFigure(const QStringList &bones, int order = KvRotationOrder::XYZ)
{
    KvFigureDesc desc;
    desc.name = QStringLiteral("figure");
    for (const QString &b : bones) {
        const Entry e(b);
        KvBoneDesc bone;
        bone.name = e.name;
        bone.parent = e.parent;
        bone.origin = bone.endPoint = vec(e.position);
        bone.order = KvRotationOrder(order);
        for (KvBoneDesc &parent : desc.bones) {
            if (parent.name == bone.parent && parent.endPoint == parent.origin)
                parent.endPoint = bone.origin;
        }
        desc.bones.push_back(bone);
    }
    KvSkeleton *skeleton = KvFigureBuilder::build(desc).release();
    kvScene->addNode(skeleton);
    bvhState().targetSkeleton = skeleton;
    return skeleton;
}

// Joints at offsets from their parents (0 10 0 when not given), a six-channel
// root and three rotations (ZXY) elsewhere unless channels are given; leaves
// end in an End Site.
inline QByteArray hierarchy(const QStringList &joints)
{
    std::vector<Entry> entries;
    for (const QString &j : joints)
        entries.emplace_back(j);
    std::function<QByteArray(const Entry &)> write = [&](const Entry &j) {
        QString channels = j.channels;
        if (channels.isEmpty()) {
            channels = j.parent.isEmpty() ? QStringLiteral("Xposition Yposition Zposition ") : QString();
            channels += QStringLiteral("Zrotation Xrotation Yrotation");
        }
        QByteArray text = (j.parent.isEmpty() ? "ROOT " : "JOINT ") + j.name.toLatin1() + "\n{\nOFFSET "
                        + (j.position.isEmpty() ? QByteArray("0 10 0") : j.position.toLatin1()) + "\nCHANNELS "
                        + QByteArray::number(channels.split(QLatin1Char(' ')).size()) + " " + channels.toLatin1() + "\n";
        bool leaf = true;
        for (const Entry &c : entries) {
            if (c.parent == j.name) {
                text += write(c);
                leaf = false;
            }
        }
        return text + (leaf ? "End Site\n{\nOFFSET 0 1 0\n}\n}\n" : "}\n");
    };
    QByteArray text = "HIERARCHY\n";
    for (const Entry &j : entries) {
        if (j.parent.isEmpty())
            text += write(j);
    }
    return text + "MOTION\n";
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
        if (r->name.isEmpty())
            continue;
        KvNode *node = skeleton->findBone(r->name);
        for (const QString &entry : map) {
            if (entry == QLatin1Char('!') + r->name && r->type == Joint) {
                r->applyChannel = false;
            } else if (entry.section(QLatin1Char('='), 0, 0) == r->name) {
                const QString target = entry.section(QLatin1Char('='), 1);
                node = target == QLatin1String("*") ? static_cast<KvNode *>(skeleton) : skeleton->findBone(target);
            }
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
    kvtest::Mat3 r{};
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j)
            r[i][j] = m[j][i];
    return r;
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

inline kvtest::Vec3 toVec(const KvVec3 &v)
{
    return {v.x, v.y, v.z};
}

inline kvtest::Vec3 toVec(const KvVec3d &v)
{
    return {v.x, v.y, v.z};
}

} // namespace motiontest
