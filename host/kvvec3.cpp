#include "kvvec3.h"

#include "kvquat.h"

#include <cmath>

float KvVec3::length() const noexcept
{
    return float(KvVec3d(*this).length());
}

KvQuat KvVec3::getRotationTo(const KvVec3 &v) const
{
    const KvVec3d from = KvVec3d(*this);
    const KvVec3d to = KvVec3d(v);
    const double fromLength = from.length();
    const double toLength = to.length();
    if (fromLength == 0.0 || toLength == 0.0)
        return KvQuat();

    const KvVec3d a = from * (1.0 / fromLength);
    const KvVec3d b = to * (1.0 / toLength);
    const double cosAngle = a.dot(b);
    if (cosAngle < -1.0 + 1e-12) {
        // Opposite directions: any axis perpendicular to a gives the half turn;
        // cross with the basis vector least aligned with a for a well-conditioned one.
        const KvVec3d helper = std::abs(a.x) < 0.9 ? KvVec3d(1.0, 0.0, 0.0) : KvVec3d(0.0, 1.0, 0.0);
        return KvQuat::fromAxisAngle(a.cross(helper), 3.14159265358979323846);
    }
    // Half-angle form: (a x b, 1 + a.b) normalised is the shortest arc, and
    // stays accurate for nearly equal directions where acos would not.
    const KvVec3d axis = a.cross(b);
    return KvQuat(axis.x, axis.y, axis.z, 1.0 + cosAngle, true);
}

double KvVec3d::length() const noexcept
{
    return std::sqrt(x * x + y * y + z * z);
}
