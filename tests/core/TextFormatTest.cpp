#include "core/ByteCountFormat.h"
#include "core/VersionComparison.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

TEST(ByteCountFormat, MatchesThePlatformWording) {
    const std::pair<std::int64_t, std::string> cases[] = {
        {0, "Zero kB"},
        {1, "1 byte"},
        {998, "998 bytes"},
        {999, "1 kB"},
        {2500, "2 kB"},
        {999'499, "1 MB"},
        {1'150'000, "1.2 MB"},
        {999'949'999, "1 GB"},
        {84'234'000'000, "84.23 GB"},
        {1'234'567'890'123, "1.23 TB"},
        {-1500, "-2 kB"},
        {5'000'000'000'000'000'000, "5,000 PB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(formatByteCount(bytes), text) << bytes;
}

// Each pair in ascending order or equal; both directions are checked. A "-" ends the version,
// leading zeros vanish and numbers beyond 64 bits saturate.
TEST(VersionComparison, OrdersBothWays) {
    const auto less = std::strong_ordering::less, equal = std::strong_ordering::equal;
    const std::tuple<std::string, std::strong_ordering, std::string> cases[] = {
        {"1.9", less, "1.10"},     {"0.9.9", less, "1"},
        {"1.0a1", less, "1.0b1"},  {"1.0b1", less, "1.0"},
        {"1.0b9", less, "1.0b10"}, {"1.0rc1", less, "1.0.1"},
        {"1.1", less, "1.1.0.1"},  {"2.0beta", less, "2.0"},
        {"1.0", less, "1.0 1"},    {"a", less, "1"},
        {"1.0+a", less, "1.0.1"},  {"1", equal, "1.0.0"},
        {"01.002", equal, "1.2"},  {"1.0-beta", equal, "1.0"},
        {"", equal, ""},           {"99999999999999999999", equal, "100000000000000000000"},
    };
    for (const auto& [first, order, second] : cases) {
        EXPECT_EQ(compareVersions(first, second), order) << first << " vs " << second;
        EXPECT_EQ(compareVersions(second, first), 0 <=> order) << second << " vs " << first;
    }
}

} // namespace
