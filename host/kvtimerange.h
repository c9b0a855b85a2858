#pragma once

#include "kvcore_global.h"

// A span of scene time in ticks, both ends included.
class KVCORE_EXPORT KvTimeRange
{
public:
    constexpr KvTimeRange() noexcept = default;
    constexpr KvTimeRange(int start, int end) noexcept : start(start), end(end) {}

    constexpr bool contains(int t) const noexcept { return start <= t && t <= end; }
    constexpr bool operator==(const KvTimeRange &o) const noexcept { return start == o.start && end == o.end; }
    constexpr bool operator!=(const KvTimeRange &o) const noexcept { return !(*this == o); }

    int start = 0;
    int end = 0;
};
