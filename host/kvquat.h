#pragma once

#include "kvcore_global.h"
#include "kvrotationorder.h"
#include "kvvec3.h"

// A rotation as a unit quaternion (x, y, z, w) in double precision.
//
// Conventions (row vectors, products apply their left factor first):
//  - (a *= b) is "a, then b": (a * b).multVec(v) == b.multVec(a.multVec(v)).
//    A bone's world rotation is its local rotation * its parent's world rotation.
//  - KvQuat(axis, angleRad) turns vectors so that KvQuat((0,1,0), pi/2)
//    .multVec((0,0,1)) == (-1,0,0).
//  - Euler angles (radians) under a KvRotationOrder apply their axes in the
//    order the order's name lists them, as textbook right-handed rotations of
//    column vectors: setValue(YXZ, (X,Y,Z)).multVec(v) == Rz(Z)*Rx(X)*Ry(Y)*v.
class KVCORE_EXPORT KvQuat
{
public:
    // The identity.
    constexpr KvQuat() noexcept = default;
    // Raw components; with normalize the result is scaled to unit length.
    KvQuat(double x, double y, double z, double w, bool normalize) noexcept;
    // Rotation by angleRad about axis (any non-zero length). A zero axis gives
    // the identity.
    KvQuat(const KvVec3 &axis, float angleRad) noexcept;

    static KvQuat fromAxisAngle(const KvVec3d &axis, double angleRad) noexcept;
    static KvQuat fromEuler(KvRotationOrder order, const KvVec3d &anglesRad) noexcept;

    void makeIdentity() noexcept { qx = qy = qz = 0.0; qw = 1.0; }
    // Turns this rotation into its inverse.
    void invert() noexcept { qx = -qx; qy = -qy; qz = -qz; }
    KvQuat inverted() const noexcept { return KvQuat(-qx, -qy, -qz, qw, false); }

    // this, then q.
    KvQuat &operator*=(const KvQuat &q) noexcept;
    KvQuat operator*(const KvQuat &q) const noexcept { KvQuat r(*this); r *= q; return r; }

    KvVec3 multVec(const KvVec3 &v) const noexcept;
    KvVec3d multVec(const KvVec3d &v) const noexcept;

    void setValue(const KvVec3 &axis, float angleRad) noexcept;
    // Axis of unit length and angle in [0, pi]; the identity gives (0, 0, 1), 0.
    void getValue(KvVec3 &axis, float &angleRad) const noexcept;
    void getValue(KvVec3d &axis, double &angleRad) const noexcept;

    // Euler angles in radians: x, y, z are the angles about X, Y and Z.
    void setValue(const KvRotationOrder &order, const KvVec3 &anglesRad) noexcept;
    // The inverse of setValue for every order: the middle angle lies in
    // [-pi/2, pi/2]; at gimbal lock the last axis takes the whole turn.
    void getValue(const KvRotationOrder &order, KvVec3 &anglesRad) const noexcept;
    KvVec3d toEuler(KvRotationOrder order) const noexcept;

    constexpr double x() const noexcept { return qx; }
    constexpr double y() const noexcept { return qy; }
    constexpr double z() const noexcept { return qz; }
    constexpr double w() const noexcept { return qw; }

    // Exact component equality; q and -q are the same rotation but not equal.
    constexpr bool operator==(const KvQuat &o) const noexcept
    { return qx == o.qx && qy == o.qy && qz == o.qz && qw == o.qw; }
    constexpr bool operator!=(const KvQuat &o) const noexcept { return !(*this == o); }
    // Angle in radians of the rotation that takes this one to o (0 for q and -q).
    double angleTo(const KvQuat &o) const noexcept;
    bool isSameRotation(const KvQuat &o, double toleranceRad) const noexcept
    { return angleTo(o) <= toleranceRad; }

private:
    double qx = 0.0;
    double qy = 0.0;
    double qz = 0.0;
    double qw = 1.0;
};
