#include "kvmatrix3.h"

KvMatrix3::KvMatrix3(bool zero) noexcept
{
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            m[row][col] = (!zero && row == col) ? 1.0f : 0.0f;
}

void KvMatrix3::scale(const KvVec3 &s, bool premultiply) noexcept
{
    const float factors[3] = {s.x, s.y, s.z};
    // diag(s) * M scales the rows; M * diag(s) scales the columns.
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            m[row][col] *= premultiply ? factors[row] : factors[col];
}

KvVec3 KvMatrix3::multVec(const KvVec3 &v) const noexcept
{
    return {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0],
            v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
            v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
}
