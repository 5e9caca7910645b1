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
// afresh and after new contents replaced those of another item. A blocked row never shows
// ticked, and its message wins over the detail.
TEST(SweepRow, ShowsItsStateFreshAndAfterNewContentsAndReportsClicks) {
    struct Case {
        const char *name, *chip, *size, *detail;
        bool selected, customLocation, blocked;
        Risk risk;
        std::int64_t bytes;
    };
    const Case cases[] = {
        {"selected", "Grows back", "4.2 GB", "Comes back on its own.", true, false, false,
         Risk::regrows, 4'200'000'000},
        {"unselected", "Resets", "1 byte", "Comes back on its own.", false, false, false,
         Risk::resets, 1},
        {"custom location", "Grows back", "1 byte",
         "Comes back on its own. Includes a custom location.", true, true, false, Risk::regrows, 1},
        {"blocked with custom location", "Reinstalls", "1 kB", quitMessage.c_str(), true, true,
         true, Risk::reinstalls, 999},
    };
    for (const auto& c : cases) {
        const auto block = c.blocked ? std::optional(quitMessage) : std::nullopt;
        SweepRow fresh(npmRow(c.selected, c.risk, c.bytes), block, c.customLocation);
        SweepRow reused(makeRow("other", Category::python, 5, !c.selected),
                        c.blocked ? std::nullopt : std::optional(quitMessage), !c.customLocation);
        reused.setContents(npmRow(c.selected, c.risk, c.bytes), block, c.customLocation);
        for (const SweepRow* row : {&fresh, &reused}) {
            SCOPED_TRACE(c.name + std::string(row == &fresh ? "" : ", reused"));
            EXPECT_EQ(row->isTicked(), c.selected && !c.blocked);
            EXPECT_EQ(row->isBlocked(), c.blocked);
            EXPECT_EQ(row->detailText().toStdString(), c.detail);
            EXPECT_EQ(row->titleText().toStdString(), "npm cache");
            EXPECT_EQ(row->chipText().toStdString(), c.chip);
            EXPECT_EQ(row->sizeText().toStdString(), c.size);
        }
        // The click only asks the model to flip the selection, unless the row is blocked.
        QSignalSpy toggled(&fresh, &SweepRow::toggled);
        QTest::mouseClick(fresh.findChild<QToolButton*>(QStringLiteral("toggle")), Qt::LeftButton);
        EXPECT_EQ(toggled.count(), c.blocked ? 0 : 1) << c.name;
        EXPECT_EQ(fresh.isTicked(), c.selected && !c.blocked) << c.name;
    }
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
    }
}

} // namespace
