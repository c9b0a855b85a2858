#include "kvquat.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using Matrix = std::array<std::array<double, 3>, 3>;

// The matrix of q.multVec for column vectors: multVec(v) == m * v.
Matrix multVecMatrix(const KvQuat &q)
{
    const double x = q.x(), y = q.y(), z = q.z(), w = q.w();
    // multVec is conj(q) v q, the transpose of the usual q v conj(q) matrix.
    return {{{1.0 - 2.0 * (y * y + z * z), 2.0 * (x * y + z * w), 2.0 * (x * z - y * w)},
             {2.0 * (x * y - z * w), 1.0 - 2.0 * (x * x + z * z), 2.0 * (y * z + x * w)},
             {2.0 * (x * z + y * w), 2.0 * (y * z - x * w), 1.0 - 2.0 * (x * x + y * y)}}};
}

Matrix axisMatrix(int axis, double angleRad)
{
    const double c = std::cos(angleRad);
    const double s = std::sin(angleRad);
    Matrix m{};
    const int j = (axis + 1) % 3;
    const int k = (axis + 2) % 3;
    m[axis][axis] = 1.0;
    m[j][j] = c;
    m[k][k] = c;
    m[j][k] = -s;
    m[k][j] = s;
    return m;
}

Matrix product(const Matrix &a, const Matrix &b)
{
    Matrix r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
    return r;
}

Matrix transposed(const Matrix &m)
{
    Matrix r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = m[j][i];
    return r;
}

double component(const KvVec3d &v, int axis)
{
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

KvVec3d unitAxis(int axis)
{
    return {axis == 0 ? 1.0 : 0.0, axis == 1 ? 1.0 : 0.0, axis == 2 ? 1.0 : 0.0};
}

} // namespace

KvQuat::KvQuat(double x, double y, double z, double w, bool normalize) noexcept
    : qx(x), qy(y), qz(z), qw(w)
{
    if (!normalize)
        return;
    const double length = std::sqrt(x * x + y * y + z * z + w * w);
    if (length > 0.0) {
        qx /= length;
        qy /= length;
        qz /= length;
        qw /= length;
    } else {
        makeIdentity();
    }
}

KvQuat::KvQuat(const KvVec3 &axis, float angleRad) noexcept
{
    setValue(axis, angleRad);
}

KvQuat KvQuat::fromAxisAngle(const KvVec3d &axis, double angleRad) noexcept
{
    const double length = axis.length();
    if (length == 0.0)
        return KvQuat();
    const double s = std::sin(0.5 * angleRad) / length;
    return KvQuat(axis.x * s, axis.y * s, axis.z * s, std::cos(0.5 * angleRad), false);
}

KvQuat KvQuat::fromEuler(KvRotationOrder order, const KvVec3d &anglesRad) noexcept
{
    Q_ASSERT(order.isValid());
    // multVec turns by -angle for a quaternion built with +angle, so each
    // factor carries the negated angle to give the textbook rotation.
    KvQuat q;
    for (int i = 0; i < 3; ++i) {
        const int axis = order.axis(i);
        // fromAxisAngle about a unit axis, without measuring its length.
        const double half = -0.5 * component(anglesRad, axis);
        const double s = std::sin(half);
        const KvVec3d u = unitAxis(axis);
        q *= KvQuat(u.x * s, u.y * s, u.z * s, std::cos(half), false);
    }
    return q;
}

KvQuat &KvQuat::operator*=(const KvQuat &q) noexcept
{
    // Hamilton product this * q; with multVec = conj(q) v q it applies this first.
    const double x = qw * q.qx + qx * q.qw + qy * q.qz - qz * q.qy;
    const double y = qw * q.qy - qx * q.qz + qy * q.qw + qz * q.qx;
    const double z = qw * q.qz + qx * q.qy - qy * q.qx + qz * q.qw;
    const double w = qw * q.qw - qx * q.qx - qy * q.qy - qz * q.qz;
    qx = x;
    qy = y;
    qz = z;
    qw = w;
    return *this;
}

KvVec3 KvQuat::multVec(const KvVec3 &v) const noexcept
{
    return multVec(KvVec3d(v)).toFloat();
}

KvVec3d KvQuat::multVec(const KvVec3d &v) const noexcept
{
    // conj(q) v q = v - 2w (u x v) + 2 u x (u x v) for a unit q = (u, w).
    const KvVec3d u(qx, qy, qz);
    const KvVec3d uv = u.cross(v);
    return v - uv * (2.0 * qw) + u.cross(uv) * 2.0;
}

void KvQuat::setValue(const KvVec3 &axis, float angleRad) noexcept
{
    *this = fromAxisAngle(KvVec3d(axis), angleRad);
}

void KvQuat::getValue(KvVec3d &axis, double &angleRad) const noexcept
{
    // q and -q are the same rotation; the one with w >= 0 has angle <= pi.
    const double sign = qw < 0.0 ? -1.0 : 1.0;
    const KvVec3d u(qx * sign, qy * sign, qz * sign);
    const double sinHalf = u.length();
    if (sinHalf == 0.0) {
        axis = KvVec3d(0.0, 0.0, 1.0);
        angleRad = 0.0;
        return;
    }
    axis = u * (1.0 / sinHalf);
    angleRad = 2.0 * std::atan2(sinHalf, qw * sign);
}

void KvQuat::getValue(KvVec3 &axis, float &angleRad) const noexcept
{
    KvVec3d axisD;
    double angleD = 0.0;
    getValue(axisD, angleD);
    axis = axisD.toFloat();
    angleRad = float(angleD);
}

void KvQuat::setValue(const KvRotationOrder &order, const KvVec3 &anglesRad) noexcept
{
    *this = fromEuler(order, KvVec3d(anglesRad));
}

void KvQuat::getValue(const KvRotationOrder &order, KvVec3 &anglesRad) const noexcept
{
    anglesRad = toEuler(order).toFloat();
}

KvVec3d KvQuat::toEuler(KvRotationOrder order) const noexcept
{
    Q_ASSERT(order.isValid());
    // For the order (i, j, k) the multVec matrix is M = Rk(c) Rj(b) Ri(a).
    // The sign s flips the off-diagonal sines of the odd permutations.
    const int i = order.axis(0);
    const int j = order.axis(1);
    const int k = order.axis(2);
    const double s = (j == (i + 1) % 3) ? 1.0 : -1.0;
    const Matrix m = multVecMatrix(*this);

    const double cosB = std::hypot(m[k][j], m[k][k]);
    const double b = std::atan2(-s * m[k][i], cosB);
    // At gimbal lock the first and last axes coincide: the first angle is
    // undefined, so it is 0 and the last takes the whole turn.
    const double a = cosB < 1e-12 ? 0.0 : std::atan2(s * m[k][j], m[k][k]);
    // The last angle in closed form. Near gimbal lock, where a is poorly
    // conditioned, it comes from what remains once a and b are undone, so
    // that the three still compose back to this rotation; and so it does
    // near zero, where the two ways may disagree in the sign of a tiny angle
    // that writers show ("-0.000000").
    double c = std::atan2(s * m[j][i], m[i][i]);
    if (cosB <= 1e-3 || std::abs(c) < 1e-8) {
        const Matrix rest = product(m, transposed(product(axisMatrix(j, b), axisMatrix(i, a))));
        c = std::atan2(s * rest[j][i], rest[i][i]);
    }

    double angles[3];
    angles[i] = a;
    angles[j] = b;
    angles[k] = c;
    return {angles[0], angles[1], angles[2]};
}

double KvQuat::angleTo(const KvQuat &o) const noexcept
{
    const KvQuat r = inverted() * o;
    const double sinHalf = KvVec3d(r.qx, r.qy, r.qz).length();
    return 2.0 * std::atan2(sinHalf, std::abs(r.qw));
}
