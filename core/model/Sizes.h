#pragma once

#include <QtGlobal>
#include <limits>

// Size sums never wrap: they stop at the largest (or smallest) signed 64-bit value.
[[nodiscard]] constexpr qint64 saturatingAdd(qint64 a, qint64 b) noexcept
{
    qint64 sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    return sum;
}
