#include "PanelTestSupport.h"

#include "ui/SweepRow.h"

#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <optional>

namespace {

const std::string quitMessage = "Quit Visual Studio Code to sweep this.";

AppModel::Row npmRow(bool isSelected, Risk risk = Risk::regrows, std::int64_t size = 1) {
    auto row = makeRow("npm cache", Category::javascript, size, isSelected);
    row.item.risk = risk;
    return row;
}

// What a row shows for its item's selection, risk, size, blocking program and location, built
// afresh and after new contents replaced those of another item.
TEST(SweepRow, ShowsItsStateFreshAndAfterNewContents) {
    struct Case {
        const char *name, *chip, *size;
        bool selected, customLocation, ticked;
        std::optional<std::string> block;
        Risk risk;
        std::int64_t bytes;
    };
    const Case cases[] = {
        {"selected", "Grows back", "4.2 GB", true, false, true, {}, Risk::regrows, 4'200'000'000},
        {"unselected", "Resets", "1 byte", false, false, false, {}, Risk::resets, 1},
        {"selected and blocked", "Reinstalls", "1 kB", true, false, false, quitMessage,
         Risk::reinstalls, 999},
        {"unselected and blocked", "Grows back", "1 byte", false, false, false, quitMessage,
         Risk::regrows, 1},
        {"custom location", "Grows back", "1 byte", true, true, true, {}, Risk::regrows, 1},
        {"blocked with custom location", "Grows back", "1 byte", true, true, false, quitMessage,
         Risk::regrows, 1},
    };
    for (const auto& c : cases) {
        const std::string detail =
            c.block ? *c.block
                    : std::string("Comes back on its own.") +
                          (c.customLocation ? " Includes a custom location." : "");
        SweepRow fresh(npmRow(c.selected, c.risk, c.bytes), c.block, c.customLocation);
        auto other = makeRow("other", Category::python, 5, !c.selected);
        SweepRow reused(other, c.block ? std::nullopt : std::optional(quitMessage),
                        !c.customLocation);
        reused.setContents(npmRow(c.selected, c.risk, c.bytes), c.block, c.customLocation);
        for (const SweepRow* row : {&fresh, &reused}) {
            const std::string name = c.name + std::string(row == &fresh ? "" : ", reused");
            EXPECT_EQ(row->isTicked(), c.ticked) << name;
            EXPECT_EQ(row->isBlocked(), c.block.has_value()) << name;
            EXPECT_EQ(row->isToggleEnabled(), !c.block) << name;
            EXPECT_DOUBLE_EQ(row->toggleOpacity(), c.block ? 0.5 : 1.0) << name;
            EXPECT_EQ(row->detailText().toStdString(), detail) << name;
            EXPECT_EQ(row->titleText().toStdString(), "npm cache") << name;
            EXPECT_EQ(row->chipText().toStdString(), c.chip) << name;
            EXPECT_EQ(row->sizeText().toStdString(), c.size) << name;
        }
    }
}

TEST(SweepRow, ClickingTheControlAsksToToggleUnlessBlocked) {
    SweepRow open(npmRow(false), std::nullopt, false);
    QSignalSpy openSpy(&open, &SweepRow::toggled);
    QTest::mouseClick(open.findChild<QToolButton*>(QStringLiteral("toggle")), Qt::LeftButton);
    EXPECT_EQ(openSpy.count(), 1);
    // The row only reports the click; the selection itself belongs to the model.
    EXPECT_FALSE(open.isTicked());

    SweepRow blocked(npmRow(true), quitMessage, false);
    QSignalSpy blockedSpy(&blocked, &SweepRow::toggled);
    QTest::mouseClick(blocked.findChild<QToolButton*>(QStringLiteral("toggle")), Qt::LeftButton);
    EXPECT_EQ(blockedSpy.count(), 0);
}

// The panel's rows are about 270 wide. A title that does not fit beside its chip and size ends
// in "…" and shows in full as its tooltip; one that fits is never cut.
TEST(SweepRow, TitleIsCutOnlyWhereItDoesNotFit) {
    const char* longTitle = "Playwright browsers with every downloaded revision";
    const std::tuple<const char*, int, bool> cases[] = {
        {"Yarn cache", 270, false}, {longTitle, 270, true}, {longTitle, 700, false}};
    for (const auto& [text, width, cut] : cases) {
        auto row = npmRow(true, Risk::reinstalls, 1'800'000'000);
        row.item.title = text;
        SweepRow widget(row, std::nullopt, false);
        widget.resize(width, widget.heightForWidth(width));
        widget.show();
        const auto* title = widget.findChild<QLabel*>(QStringLiteral("title"));
        EXPECT_EQ(title->text().endsWith(QChar(0x2026)), cut) << text << " " << width;
        EXPECT_EQ(title->toolTip(), cut ? QString::fromUtf8(text) : QString()) << text;
        EXPECT_EQ(widget.titleText().toStdString(), text);
    }
}

} // namespace
