#include "ui/MenuBarLabel.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct LowCase {
    std::int64_t freeBytes;
    double thresholdGB;
    bool isLow;
};

TEST(MenuBarLabel, IsLowOnlyBelowTheThresholdOnceSpaceWasRead) {
    const LowCase cases[] = {
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

struct TitleCase {
    std::int64_t freeBytes;
    const char* title;
};

TEST(MenuBarLabel, TitleIsTheProductNameThenWholeGigabytesWithHalvesUp) {
    const TitleCase cases[] = {
        {0, "Pellwick"},
        {-5, "Pellwick"},
        {1, "0 GB"},
        {499'999'999, "0 GB"},
        {500'000'000, "1 GB"},
        {237'400'000'000, "237 GB"},
        {237'499'999'999, "237 GB"},
        {237'500'000'000, "238 GB"},
        {1'234'567'000'000, "1235 GB"},
        {9'223'372'036'854'775'807, "9223372037 GB"},
    };
    for (const auto& [freeBytes, title] : cases)
        EXPECT_EQ(MenuBarLabel::titleText(freeBytes).toStdString(), title) << freeBytes;
}

TEST(MenuBarLabel, FigureIsEmptyBeforeTheFirstReading) {
    EXPECT_TRUE(MenuBarLabel::figureText(0).isEmpty());
    EXPECT_EQ(MenuBarLabel::figureText(237'500'000'000).toStdString(), "238");
}

TEST(MenuBarLabel, IconIsTheDriveUnlessLow) {
    EXPECT_EQ(MenuBarLabel::iconName(false).toStdString(), "internaldrive");
    EXPECT_EQ(MenuBarLabel::iconName(true).toStdString(), "exclamationmark.circle.fill");
}

} // namespace
