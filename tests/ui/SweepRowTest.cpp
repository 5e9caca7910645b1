#include "ui/SweepRow.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

AppModel::Row makeRow(bool isSelected, Risk risk = Risk::regrows,
                      std::int64_t size = 4'200'000'000) {
    CleanupItem item;
    item.id = "npm-cache";
    item.title = "npm cache";
    item.detail = "Packages npm downloads again.";
    item.risk = risk;
    return {item, size, isSelected};
}

const std::string quitMessage = "Quit Visual Studio Code to sweep this.";

struct StateCase {
    const char* name;
    bool isSelected;
    std::optional<std::string> blockMessage;
    bool hasCustomLocation;
    bool isTicked;
    double opacity;
    const char* detail;
};

TEST(SweepRow, ShowsItsStateFromSelectionBlockAndLocation) {
    const StateCase cases[] = {
        {"selected", true, std::nullopt, false, true, 1.0, "Packages npm downloads again."},
        {"unselected", false, std::nullopt, false, false, 1.0, "Packages npm downloads again."},
        {"selected and blocked", true, quitMessage, false, false, 0.5, quitMessage.c_str()},
        {"unselected and blocked", false, quitMessage, false, false, 0.5, quitMessage.c_str()},
        {"custom location", true, std::nullopt, true, true, 1.0,
         "Packages npm downloads again. Includes a custom location."},
        {"blocked with custom location", true, quitMessage, true, false, 0.5, quitMessage.c_str()},
    };
    for (const auto& state : cases) {
        const SweepRow row(makeRow(state.isSelected), state.blockMessage, state.hasCustomLocation);
        EXPECT_EQ(row.isTicked(), state.isTicked) << state.name;
        EXPECT_EQ(row.isBlocked(), state.blockMessage.has_value()) << state.name;
        EXPECT_EQ(row.isToggleEnabled(), !state.blockMessage.has_value()) << state.name;
        EXPECT_DOUBLE_EQ(row.toggleOpacity(), state.opacity) << state.name;
        EXPECT_EQ(row.detailText().toStdString(), state.detail) << state.name;
        EXPECT_EQ(row.titleText().toStdString(), "npm cache") << state.name;
    }
}

TEST(SweepRow, ChipNamesTheRisk) {
    const std::pair<Risk, const char*> cases[] = {
        {Risk::regrows, "Grows back"},
        {Risk::resets, "Resets"},
        {Risk::reinstalls, "Reinstalls"},
    };
    for (const auto& [risk, text] : cases) {
        const SweepRow row(makeRow(true, risk), std::nullopt, false);
        EXPECT_EQ(row.chipText().toStdString(), text);
    }
}

TEST(SweepRow, SizeUsesTheByteCountWording) {
    EXPECT_EQ(SweepRow(makeRow(true), std::nullopt, false).sizeText().toStdString(), "4.2 GB");
    EXPECT_EQ(
        SweepRow(makeRow(true, Risk::regrows, 1), std::nullopt, false).sizeText().toStdString(),
        "1 byte");
}

TEST(SweepRow, ClickingTheControlAsksToToggleUnlessBlocked) {
    SweepRow open(makeRow(false), std::nullopt, false);
    QSignalSpy openSpy(&open, &SweepRow::toggled);
    QTest::mouseClick(open.findChild<QToolButton*>(QStringLiteral("toggle")), Qt::LeftButton);
    EXPECT_EQ(openSpy.count(), 1);
    // The row only reports the click; the selection itself belongs to the model.
    EXPECT_FALSE(open.isTicked());

    SweepRow blocked(makeRow(true), quitMessage, false);
    QSignalSpy blockedSpy(&blocked, &SweepRow::toggled);
    QTest::mouseClick(blocked.findChild<QToolButton*>(QStringLiteral("toggle")), Qt::LeftButton);
    EXPECT_EQ(blockedSpy.count(), 0);
}

TEST(SweepRow, NewContentsReplaceTheOldOnes) {
    SweepRow row(makeRow(true), quitMessage, false);
    row.setContents(makeRow(true, Risk::resets, 999), std::nullopt, true);
    EXPECT_TRUE(row.isTicked());
    EXPECT_TRUE(row.isToggleEnabled());
    EXPECT_DOUBLE_EQ(row.toggleOpacity(), 1.0);
    EXPECT_EQ(row.chipText().toStdString(), "Resets");
    EXPECT_EQ(row.sizeText().toStdString(), "1 kB");
    EXPECT_EQ(row.detailText().toStdString(),
              "Packages npm downloads again. Includes a custom location.");
}

// The panel's rows are about 270 wide. A title that does not fit beside its chip and size ends
// in "…" and shows in full as its tooltip; one that fits is never cut.
TEST(SweepRow, TitleIsCutOnlyWhereItDoesNotFit) {
    struct Case {
        const char* title;
        int width;
        bool cut;
    };
    const Case cases[] = {
        {"Yarn cache", 270, false},
        {"Playwright browsers with every downloaded revision", 270, true},
        {"Playwright browsers with every downloaded revision", 700, false},
    };
    for (const auto& c : cases) {
        auto row = makeRow(true, Risk::reinstalls, 1'800'000'000);
        row.item.title = c.title;
        SweepRow widget(row, std::nullopt, false);
        widget.resize(c.width, widget.heightForWidth(c.width));
        widget.show();
        const auto* title = widget.findChild<QLabel*>(QStringLiteral("title"));
        EXPECT_EQ(title->text().endsWith(QChar(0x2026)), c.cut) << c.title << " " << c.width;
        EXPECT_EQ(title->toolTip(), c.cut ? QString::fromUtf8(c.title) : QString()) << c.title;
        EXPECT_EQ(widget.titleText().toStdString(), c.title);
    }
}

} // namespace
