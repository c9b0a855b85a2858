#pragma once

#include "kvcore_global.h"

// The order in which a bone's three rotation controls compose. The name lists
// the axes in the order in which their rotations apply to the bone; the first
// axis is the bone's twist axis. A BVH channel line "A B C" applies C, then B,
// then A: "Zrotation Xrotation Yrotation" is YXZ (code 2).
class KVCORE_EXPORT KvRotationOrder
{
public:
    enum Order { XYZ = 0, XZY = 1, YXZ = 2, YZX = 3, ZXY = 4, ZYX = 5 };

    constexpr KvRotationOrder() noexcept = default;
    // code must lie in 0..5.
    constexpr explicit KvRotationOrder(int code) noexcept : orderCode(code) {}

    constexpr int code() const noexcept { return orderCode; }
    constexpr bool isValid() const noexcept { return orderCode >= 0 && orderCode <= 5; }
    // Axis index (0 = X, 1 = Y, 2 = Z) of the i-th rotation to apply, i in 0..2.
    int axis(int i) const noexcept;
    // "XYZ" .. "ZYX"; an empty string for an invalid code.
    const char *name() const noexcept;
    // The order whose name is text ("XYZ" .. "ZYX", any case); invalid otherwise.
    static KvRotationOrder fromName(const char *text) noexcept;
    // The order that a BVH channel line applies, given the axes (0..2) of its
    // three rotation channels as they stand on the line; invalid when the three
    // are not a permutation of X, Y, Z.
    static KvRotationOrder fromChannelAxes(int first, int second, int third) noexcept;

    constexpr bool operator==(const KvRotationOrder &o) const noexcept { return orderCode == o.orderCode; }
    constexpr bool operator!=(const KvRotationOrder &o) const noexcept { return orderCode != o.orderCode; }

private:
    int orderCode = XYZ;
};
