#include "numbertext.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>

char *writeFixed6(char *out, float value)
{
    // A float has 24 significant bits and 10^6 = 15625 * 2^6 needs 14 more,
    // so the product is exact in a double: the rounding below sees the true
    // digits. Qt rounds exact ties away from zero, as std::round does.
    const double scaled = std::fabs(double(value) * 1e6);
    constexpr double limit = 9.0e18;  // keeps the rounded value inside uint64_t
    if (!(scaled < limit)) {  // also NaN and infinities; a float has at most 39 digits
        const QByteArray text = QString::fromLatin1("%1").arg(double(value), 0, 'f', 6).toLatin1();
        const int length = std::min(int(text.size()), fixed6Room);
        std::memcpy(out, text.constData(), size_t(length));
        return out + length;
    }
    const auto micros = std::uint64_t(std::round(scaled));

    // Qt drops the sign of an exact zero but keeps it for a negative value
    // that rounds to zero.
    if (value < 0.0f)
        *out++ = '-';
    char digits[24];
    char *end = digits + sizeof digits;
    char *p = end;
    std::uint64_t rest = micros;
    for (int i = 0; i < 6; ++i) {
        *--p = char('0' + rest % 10);
        rest /= 10;
    }
    *--p = '.';
    do {
        *--p = char('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    std::memcpy(out, p, size_t(end - p));
    return out + (end - p);
}

void appendFixed6(QByteArray &out, float value)
{
    char text[fixed6Room];
    out.append(text, writeFixed6(text, value) - text);
}
