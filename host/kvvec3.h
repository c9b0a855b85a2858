#pragma once

#include "kvcore_global.h"

class KvQuat;

// A point or direction in scene units, single precision as the host stores
// geometry. Plain data: copy freely.
class KVCORE_EXPORT KvVec3
{
public:
    constexpr KvVec3() noexcept = default;
    constexpr KvVec3(float x, float y, float z) noexcept : x(x), y(y), z(z) {}

    constexpr KvVec3 operator+(const KvVec3 &o) const noexcept { return {x + o.x, y + o.y, z + o.z}; }
    constexpr KvVec3 operator-(const KvVec3 &o) const noexcept { return {x - o.x, y - o.y, z - o.z}; }
    constexpr KvVec3 operator-() const noexcept { return {-x, -y, -z}; }
    // Component-wise product: a product with (s, s, s) scales by s.
    constexpr KvVec3 operator*(const KvVec3 &o) const noexcept { return {x * o.x, y * o.y, z * o.z}; }
    constexpr KvVec3 operator*(float s) const noexcept { return {x * s, y * s, z * s}; }
    KvVec3 &operator+=(const KvVec3 &o) noexcept { x += o.x; y += o.y; z += o.z; return *this; }
    KvVec3 &operator-=(const KvVec3 &o) noexcept { x -= o.x; y -= o.y; z -= o.z; return *this; }
    constexpr bool operator==(const KvVec3 &o) const noexcept { return x == o.x && y == o.y && z == o.z; }
    constexpr bool operator!=(const KvVec3 &o) const noexcept { return !(*this == o); }

    constexpr float dot(const KvVec3 &o) const noexcept { return x * o.x + y * o.y + z * o.z; }
    float length() const noexcept;

    // The shortest-arc rotation from this direction to v. Inverted, it turns
    // this direction onto v under multVec:
    //   q = e.getRotationTo(D); q.invert(); q.multVec(e) points along D.
    // A zero-length vector on either side gives the identity; opposite
    // directions give a half turn about an axis perpendicular to this one.
    KvQuat getRotationTo(const KvVec3 &v) const;

    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// Double-precision vector for the host's own arithmetic (world transforms,
// rotation tests) where float round-off would pile up.
class KVCORE_EXPORT KvVec3d
{
public:
    constexpr KvVec3d() noexcept = default;
    constexpr KvVec3d(double x, double y, double z) noexcept : x(x), y(y), z(z) {}
    constexpr explicit KvVec3d(const KvVec3 &v) noexcept : x(v.x), y(v.y), z(v.z) {}

    constexpr KvVec3d operator+(const KvVec3d &o) const noexcept { return {x + o.x, y + o.y, z + o.z}; }
    constexpr KvVec3d operator-(const KvVec3d &o) const noexcept { return {x - o.x, y - o.y, z - o.z}; }
    constexpr KvVec3d operator-() const noexcept { return {-x, -y, -z}; }
    constexpr KvVec3d operator*(double s) const noexcept { return {x * s, y * s, z * s}; }
    constexpr bool operator==(const KvVec3d &o) const noexcept { return x == o.x && y == o.y && z == o.z; }
    constexpr double dot(const KvVec3d &o) const noexcept { return x * o.x + y * o.y + z * o.z; }
    constexpr KvVec3d cross(const KvVec3d &o) const noexcept
    { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double length() const noexcept;
    constexpr KvVec3 toFloat() const noexcept { return {float(x), float(y), float(z)}; }

    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};
