#include "testsupport.h"

#include "textbookbvh.h"

#include "kvproperty.h"

#include <cmath>

#include <sys/stat.h>

namespace kvtest {

QString fullDevice()
{
    struct stat info{};
    return stat("/dev/full", &info) == 0 && S_ISCHR(info.st_mode) ? QStringLiteral("/dev/full") : QString();
}

QString dataFile(const QString &relativePath)
{
    return QStringLiteral(KV_DATA_DIR "/") + relativePath;
}

bool near(double a, double b, double tolerance)
{
    return std::abs(a - b) <= tolerance;
}

bool near(const KvVec3 &a, const KvVec3 &b, double tolerance)
{
    return near(a.x, b.x, tolerance) && near(a.y, b.y, tolerance) && near(a.z, b.z, tolerance);
}

bool near(const KvVec3d &a, const KvVec3d &b, double tolerance)
{
    return near(a.x, b.x, tolerance) && near(a.y, b.y, tolerance) && near(a.z, b.z, tolerance);
}

bool sameRotation(const KvQuat &a, const KvQuat &b, double toleranceRad)
{
    // acos(|dot|) loses half the digits near 1; the half-angle from the sum and
    // difference of the two (sign-matched) quaternions keeps them all.
    const double dot = a.x() * b.x() + a.y() * b.y() + a.z() * b.z() + a.w() * b.w();
    const double s = dot < 0.0 ? -1.0 : 1.0;
    const double dx = a.x() - s * b.x(), dy = a.y() - s * b.y(), dz = a.z() - s * b.z(), dw = a.w() - s * b.w();
    const double px = a.x() + s * b.x(), py = a.y() + s * b.y(), pz = a.z() + s * b.z(), pw = a.w() + s * b.w();
    const double angle = 4.0 * std::atan2(std::sqrt(dx * dx + dy * dy + dz * dz + dw * dw),
                                          std::sqrt(px * px + py * py + pz * pz + pw * pw));
    return angle <= toleranceRad;
}

QList<int> keyTimes(const KvFloatProperty &property)
{
    QList<int> times;
    for (int i = 0; i < property.getNumKeys(); ++i)
        times.append(property.getKeyTime(i));
    return times;
}

KvFigureDesc figureFromBvh(const TextbookBvh &bvh, const QString &name)
{
    const std::vector<Vec3> rest = restPositions(bvh);
    const auto toVec3 = [](const Vec3 &v) { return KvVec3(float(v[0]), float(v[1]), float(v[2])); };
    KvFigureDesc desc;
    desc.name = name;
    for (size_t i = 0; i < bvh.joints.size(); ++i) {
        const TextbookJoint &joint = bvh.joints[i];
        KvBoneDesc bone;
        bone.name = joint.name;
        if (joint.parent >= 0)
            bone.parent = bvh.joints[size_t(joint.parent)].name;
        bone.origin = toVec3(rest[i]);
        bone.endPoint = bone.origin;
        if (joint.hasEndSite) {
            bone.endPoint = toVec3({rest[i][0] + joint.endSiteOffset[0], rest[i][1] + joint.endSiteOffset[1],
                                    rest[i][2] + joint.endSiteOffset[2]});
        }
        for (size_t c = i + 1; c < bvh.joints.size(); ++c) {
            if (bvh.joints[c].parent == int(i)) {
                bone.endPoint = toVec3(rest[c]);
                break;
            }
        }
        std::vector<int> axes;
        for (const QString &channel : joint.channels) {
            if (channel.endsWith(QLatin1String("rotation"), Qt::CaseInsensitive))
                axes.push_back(channel.at(0).toUpper().toLatin1() - 'X');
        }
        bone.order = axes.size() == 3 ? KvRotationOrder::fromChannelAxes(axes[0], axes[1], axes[2])
                                      : KvRotationOrder(KvRotationOrder::XYZ);
        desc.bones.push_back(bone);
    }
    return desc;
}

QString toString(const KvVec3 &v)
{
    return QStringLiteral("(%1, %2, %3)").arg(v.x, 0, 'g', 9).arg(v.y, 0, 'g', 9).arg(v.z, 0, 'g', 9);
}

QString toString(const KvVec3d &v)
{
    return QStringLiteral("(%1, %2, %3)").arg(v.x, 0, 'g', 17).arg(v.y, 0, 'g', 17).arg(v.z, 0, 'g', 17);
}

QString toString(const KvQuat &q)
{
    return QStringLiteral("(%1, %2, %3, %4)")
        .arg(q.x(), 0, 'g', 17).arg(q.y(), 0, 'g', 17).arg(q.z(), 0, 'g', 17).arg(q.w(), 0, 'g', 17);
}

} // namespace kvtest
