#include "kvrotationorder.h"

#include <cctype>

namespace {

// Names of codes 0..5; each letter is an axis, in the order the rotations apply.
constexpr const char *orderNames[6] = {"XYZ", "XZY", "YXZ", "YZX", "ZXY", "ZYX"};

} // namespace

int KvRotationOrder::axis(int i) const noexcept
{
    Q_ASSERT(isValid() && i >= 0 && i <= 2);
    return orderNames[orderCode][i] - 'X';
}

const char *KvRotationOrder::name() const noexcept
{
    return isValid() ? orderNames[orderCode] : "";
}

KvRotationOrder KvRotationOrder::fromName(const char *text) noexcept
{
    if (!text)
        return KvRotationOrder(-1);
    for (int code = 0; code < 6; ++code) {
        const char *name = orderNames[code];
        int i = 0;
        while (i < 3 && text[i] && std::toupper(static_cast<unsigned char>(text[i])) == name[i])
            ++i;
        if (i == 3 && text[3] == '\0')
            return KvRotationOrder(code);
    }
    return KvRotationOrder(-1);
}

KvRotationOrder KvRotationOrder::fromChannelAxes(int first, int second, int third) noexcept
{
    // The channel listed last applies first, so the order's name reads the line backwards.
    for (int code = 0; code < 6; ++code) {
        const char *name = orderNames[code];
        if (name[0] - 'X' == third && name[1] - 'X' == second && name[2] - 'X' == first)
            return KvRotationOrder(code);
    }
    return KvRotationOrder(-1);
}
