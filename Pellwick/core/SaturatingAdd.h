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

// A count of blocks of any size in bytes, as a volume reports them; a file system may report
// anything, so a product beyond the largest value stops there.
[[nodiscard]] constexpr std::int64_t saturatingBytes(unsigned long long blocks,
                                                     unsigned long long blockSize) {
    unsigned long long product = 0;
    if (__builtin_mul_overflow(blocks, blockSize, &product) ||
        product > static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max()))
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(product);
}

// st_blocks counts 512-byte units; a negative count (a broken file system) is no space.
[[nodiscard]] constexpr std::int64_t allocatedBytes(std::int64_t blocks512) {
    return blocks512 > 0 ? saturatingBytes(static_cast<unsigned long long>(blocks512), 512) : 0;
}
