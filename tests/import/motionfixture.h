#pragma once

#include "bvhin.h"
#include "bvhstate.h"

#include "kvapp.h"
#include "kvfigurebuilder.h"
#include "kvnode.h"
#include "kvscene.h"
#include "textbookbvh.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <functional>

// A host, small figures and files for the import tests. Figures and files
// are written as entries "name<parent@x y z:channels"; all but the name may
// be left out.
namespace motiontest {

// A fresh host for each test function; the import options go back to their
// defaults after it.
struct Host
{
    QTemporaryDir dir;
    KvApp app{dir.filePath(QStringLiteral("settings.ini")), false};

    ~Host()
    {
        CBvhIn::setMappingDialog(nullptr);
        bvhState().clearLists();
        frameOption = true;
        inPlaceOption = limitsOption = false;
    }
};

inline KvVec3 vec(const QString &text)
{
    const QStringList v = text.split(QLatin1Char(' '));
    return KvVec3(v.value(0).toFloat(), v.value(1).toFloat(), v.value(2).toFloat());
}

// Name, parent, position and channels of an entry.
inline QStringList parts(const QString &entry)
{
    static const QRegularExpression syntax(QStringLiteral("^([^<@:]*)(?:<([^@:]*))?(?:@([^:]*))?(?::(.*))?$"));
    const QRegularExpressionMatch m = syntax.match(entry);
    return {m.captured(1), m.captured(2), m.captured(3), m.captured(4)};
}

// Bones at their origins (figure space), end points at their first child,
// added to the scene as the import's target.
inline KvSkeleton *addFigure(const QStringList &bones, int order = KvRotationOrder::XYZ)
{
    KvFigureDesc desc;
    desc.name = QStringLiteral("figure");
    for (const QString &entry : bones) {
        const QStringList e = parts(entry);
        KvBoneDesc bone{e[0], {}, e[1], vec(e[2]), vec(e[2]), KvRotationOrder(order), {}};
        for (KvBoneDesc &parent : desc.bones) {
            if (parent.name == bone.parent && parent.endPoint == parent.origin)
                parent.endPoint = bone.origin;
        }
        desc.bones.push_back(bone);
    }
    KvSkeleton *skeleton = KvFigureBuilder::build(desc).release();
    kvScene->addNode(skeleton);
    return bvhState().targetSkeleton = skeleton;
}

// Joints at offsets from their parents (0 10 0 when not given), a six-channel
// root and three rotations (ZXY) elsewhere unless channels are given; leaves
// end in an End Site.
inline QByteArray hierarchy(const QStringList &joints)
{
    std::function<QByteArray(const QString &)> write = [&](const QString &name) {
        QByteArray text;
        for (const QString &entry : joints) {
            QStringList j = parts(entry);
            if (j[1] != name)
                continue;
            if (j[3].isEmpty())
                j[3] = (name.isEmpty() ? "Xposition Yposition Zposition " : "") + QStringLiteral("Zrotation Xrotation Yrotation");
            const QByteArray inner = write(j[0]);
            text += (name.isEmpty() ? "ROOT " : "JOINT ") + j[0].toLatin1() + "\n{\nOFFSET "
                  + (j[2].isEmpty() ? QByteArray("0 10 0") : j[2].toLatin1()) + "\nCHANNELS "
                  + QByteArray::number(j[3].count(QLatin1Char(' ')) + 1) + " " + j[3].toLatin1() + "\n"
                  + (inner.isEmpty() ? "End Site\n{\nOFFSET 0 1 0\n}\n" : inner) + "}\n";
        }
        return text;
    };
    return "HIERARCHY\n" + write(QString()) + "MOTION\n";
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
