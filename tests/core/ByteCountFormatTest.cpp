#include "core/ByteCountFormat.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    std::int64_t bytes;
    const char* text;
};

TEST(ByteCountFormat, MatchesThePlatformWording) {
    const Case cases[] = {
        {0, "Zero kB"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {998, "998 bytes"},
        {999, "1 kB"},
        {1500, "2 kB"},
        {2500, "2 kB"},
        {999'499, "1 MB"},
        {1'050'000, "1 MB"},
        {1'150'000, "1.2 MB"},
        {999'949'999, "1 GB"},
        {4'200'000'000, "4.2 GB"},
        {84'234'000'000, "84.23 GB"},
        {1'234'567'890'123, "1.23 TB"},
        {5'000'000'000'000'000'000, "5,000 PB"},
        {-1500, "-2 kB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(formatByteCount(bytes), text) << bytes;
}

} // namespace
