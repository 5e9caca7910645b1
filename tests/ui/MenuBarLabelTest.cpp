#include "ui/MenuBarLabel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

namespace {

TEST(MenuBarLabel, IsLowOnlyBelowTheThresholdOnceSpaceWasRead) {
    const std::tuple<std::int64_t, double, bool> cases[] = {
        {0, 20, false}, // not read yet
        {1, 20, true},
        {19'999'999'999, 20, true},
        {20'000'000'000, 20, false},
        {19'900'000'000, 20, true},
        {237'400'000'000, 20, false},
        {5'000'000'000, 12.5, true},
        {12'500'000'000, 12.5, false},
        {1, 0, false},
        {9'000'000'000'000'000'000, 1e12, true}, // the threshold saturates instead of overflowing
    };
    for (const auto& [freeBytes, thresholdGB, isLow] : cases)
        EXPECT_EQ(MenuBarLabel::isLow(freeBytes, thresholdGB), isLow)
            << freeBytes << " bytes against " << thresholdGB << " GB";
}

// Before the first reading the title is the product's name and the figure is empty.
TEST(MenuBarLabel, TitleAndFigureAreWholeGigabytesWithHalvesUp) {
    const std::tuple<std::int64_t, const char*, const char*> cases[] = {
        {0, "Pellwick", ""},
        {-5, "Pellwick", ""},
        {1, "0 GB", "0"},
        {499'999'999, "0 GB", "0"},
        {500'000'000, "1 GB", "1"},
        {237'499'999'999, "237 GB", "237"},
        {237'500'000'000, "238 GB", "238"},
        {1'234'567'000'000, "1235 GB", "1235"},
        {9'223'372'036'854'775'807, "9223372037 GB", "9223372037"}};
    for (const auto& [freeBytes, title, figure] : cases) {
        EXPECT_EQ(MenuBarLabel::titleText(freeBytes).toStdString(), title) << freeBytes;
        EXPECT_EQ(MenuBarLabel::figureText(freeBytes).toStdString(), figure) << freeBytes;
    }
}

} // namespace
