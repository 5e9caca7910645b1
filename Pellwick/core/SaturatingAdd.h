#pragma once

#include <cstdint>
#include <limits>

// Byte sums stop at the largest value instead of overflowing (signed overflow is undefined).
[[nodiscard]] constexpr std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    return sum;
}

[[nodiscard]] constexpr std::int64_t allocatedBytes(std::int64_t blocks512) {
    std::int64_t bytes = 0;
    if (__builtin_mul_overflow(blocks512, std::int64_t(512), &bytes))
        return blocks512 > 0 ? std::numeric_limits<std::int64_t>::max() : 0;
    return bytes < 0 ? 0 : bytes;
}
