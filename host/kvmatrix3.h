#pragma once

#include "kvcore_global.h"
#include "kvvec3.h"

// A 3x3 matrix for row vectors (v' = v * M). Only what the host needs for
// local scale: diagonal scales and their product.
class KVCORE_EXPORT KvMatrix3
{
public:
    // zero false: the identity; zero true: all entries 0.
    explicit KvMatrix3(bool zero = false) noexcept;

    // Multiplies by diag(s): before this matrix when premultiply, after it otherwise.
    void scale(const KvVec3 &s, bool premultiply) noexcept;

    float at(int row, int col) const noexcept { return m[row][col]; }
    void set(int row, int col, float v) noexcept { m[row][col] = v; }
    KvVec3 diagonal() const noexcept { return {m[0][0], m[1][1], m[2][2]}; }
    KvVec3 multVec(const KvVec3 &v) const noexcept;

private:
    float m[3][3];
};
