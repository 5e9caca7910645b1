#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>

// Modification dates at the file system's own precision.
using FileTime = std::chrono::time_point<std::chrono::system_clock, std::chrono::nanoseconds>;

inline constexpr FileTime distantPast = FileTime::min();

// A time stamp far outside the representable range (utimensat accepts any) saturates.
[[nodiscard]] inline FileTime fileTimeOf(const timespec& stamp) {
    constexpr std::int64_t limit = INT64_MAX / 1'000'000'000 - 1;
    if (stamp.tv_sec > limit)
        return FileTime::max();
    if (stamp.tv_sec < -limit)
        return FileTime::min();
    return FileTime(
        std::chrono::nanoseconds(std::int64_t(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec));
}

// now − days × 86,400 s: whole days of 24 hours, no calendar arithmetic.
[[nodiscard]] inline FileTime cutoffBefore(FileTime now, int days) {
    return now - std::chrono::seconds(std::int64_t(days) * 86'400);
}
