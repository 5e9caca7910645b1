#include "core/VersionComparison.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct OrderCase {
    std::string older;
    std::string newer;
};

class VersionOrderTest : public testing::TestWithParam<OrderCase> {};

TEST_P(VersionOrderTest, OrdersBothWays) {
    const auto& [older, newer] = GetParam();
    EXPECT_EQ(compareVersions(older, newer), std::strong_ordering::less) << older << " < " << newer;
    EXPECT_EQ(compareVersions(newer, older), std::strong_ordering::greater)
        << newer << " > " << older;
}

INSTANTIATE_TEST_SUITE_P(Cases, VersionOrderTest,
                         testing::Values(OrderCase{"1.0", "1.1"}, OrderCase{"1.9", "1.10"},
                                         OrderCase{"0.9.9", "1"}, OrderCase{"1.0a1", "1.0"},
                                         OrderCase{"1.0a1", "1.0b1"}, OrderCase{"1.0b1", "1.0"},
                                         OrderCase{"1.0b9", "1.0b10"}, OrderCase{"1.0rc1", "1.0.1"},
                                         OrderCase{"1.0", "1.0.1"}, OrderCase{"1.1", "1.1.0.1"},
                                         OrderCase{"2.0beta", "2.0"}, OrderCase{"1.0", "1.0 1"},
                                         OrderCase{"a", "1"}, OrderCase{"9", "10"},
                                         OrderCase{"1.0+a", "1.0.1"}));

struct SameCase {
    std::string a;
    std::string b;
};

class VersionSameTest : public testing::TestWithParam<SameCase> {};

TEST_P(VersionSameTest, IsEqualBothWays) {
    const auto& [a, b] = GetParam();
    EXPECT_EQ(compareVersions(a, b), std::strong_ordering::equal) << a << " = " << b;
    EXPECT_EQ(compareVersions(b, a), std::strong_ordering::equal) << b << " = " << a;
}

// A "-" ends the version, leading zeros vanish and numbers beyond 64 bits saturate.
INSTANTIATE_TEST_SUITE_P(Cases, VersionSameTest,
                         testing::Values(SameCase{"1.0", "1.0.0"}, SameCase{"1", "1.0.0"},
                                         SameCase{"99999999999999999999", "100000000000000000000"},
                                         SameCase{"1.0-beta", "1.0"}, SameCase{"01.002", "1.2"},
                                         SameCase{"1.0b2", "1.0b2"}, SameCase{"", ""}));

} // namespace
