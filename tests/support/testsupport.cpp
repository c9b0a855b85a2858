#include "testsupport.h"

#include <cmath>

namespace kvtest {

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
    const double dot = std::abs(a.x() * b.x() + a.y() * b.y() + a.z() * b.z() + a.w() * b.w());
    const double angle = 2.0 * std::acos(std::min(1.0, dot));
    return angle <= toleranceRad;
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
