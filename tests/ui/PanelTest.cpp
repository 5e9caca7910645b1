#include "PanelTestSupport.h"

#include "ui/SweepRow.h"
#include "ui/UpdateWindow.h"

#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <optional>

namespace {

bool isIdle(const AppModel& model) {
    return std::holds_alternative<AppModel::Idle>(model.phase());
}

TEST(PanelActions, SweepButtonFollowsPhaseAndSelection) {
    const std::tuple<AppModel::Phase, bool, const char*, bool> cases[] = {
        {AppModel::Idle{}, true, "Sweep 4.2 GB", true},
        {AppModel::Scanning{}, true, "Checking…", false},
        {AppModel::Sweeping{}, true, "Sweep 4.2 GB", false},
        {AppModel::Idle{}, false, "Nothing to sweep", false}};
    for (const auto& [phase, selected, text, enabled] : cases) {
        PanelFixture panel;
        panel.model->setRows({makeRow("npm-cache", Category::javascript, 4'200'000'000, selected)});
        panel.model->setPhase(phase);
        auto* button = panel.find<QAbstractButton>("sweepButton");
        EXPECT_EQ(button->text().toStdString(), text) << phase.index() << " selected " << selected;
        EXPECT_EQ(button->isEnabled(), enabled) << phase.index() << " selected " << selected;
    }
}

// A failure names paths: it shows as typed, never read as markup, and stays until the user
// dismisses it.
TEST(PanelActions, AFailureShowsUntilDismissed) {
    const char* refused = "<i>shop: Refused to touch /tmp/<b>x.";
    PanelFixture panel;
    panel.model->setPhase(AppModel::Failed{refused});
    panel.model->setRows({makeRow("npm-cache", Category::javascript, 4'200'000'000)});
    EXPECT_EQ(panel.text("failedLabel"), refused);
    EXPECT_EQ(panel.find<QLabel>("failedLabel")->textFormat(), Qt::PlainText);
    EXPECT_FALSE(panel.shows("sweepButton"));
    panel.button("OK")->click();
    EXPECT_TRUE(isIdle(*panel.model));

    // A Done pressed after the phase moved on must not end the scan that began meanwhile.
    panel.model->setPhase(AppModel::Done{1, 0});
    auto* done = panel.button("Done");
    panel.model->setPhase(AppModel::Scanning{});
    done->click();
    EXPECT_TRUE(std::holds_alternative<AppModel::Scanning>(panel.model->phase()));
}

// The sweep button measures again before it asks: it asks nothing when nothing is left, and
// counts the targets found after the press.
TEST(PanelActions, SweepMeasuresAgainBeforeItAsks) {
    PanelFixture panel;
    panel.model->setRows({makeRow("npm-cache", Category::javascript, 4'200'000'000)});
    auto* sweep = panel.find<QAbstractButton>("sweepButton");
    QSignalSpy phases(panel.model.get(), &AppModel::phaseChanged);
    sweep->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return phases.count() >= 2; }, 20'000)); // measured again
    QCoreApplication::processEvents();
    EXPECT_FALSE(panel.shows("confirmation"));

    panel.fixture.home.file(".npm/_cacache/content-v2/one", 50'000);
    QCoro::waitFor(panel.model->refresh());
    sweep->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.shows("confirmation"); }, 20'000));
    EXPECT_TRUE(panel.text("confirmationLabel").endsWith(" from 1 item? This can't be undone."));
    panel.button("Cancel")->click();
    EXPECT_TRUE(panel.shows("sweepButton"));
}

// The panel closing while the sweep button's refresh runs takes the question with it.
TEST(PanelActions, AConfirmationDoesNotOutliveThePanel) {
    PanelFixture panel;
    panel.fixture.home.file(".npm/_cacache/content-v2/one", 50'000);
    auto* sweep = panel.find<QAbstractButton>("sweepButton");
    // Showing refreshes, and so does the window taking the focus. The press comes once both
    // have listed the processes and no scan they started runs: a press during one meets a
    // disabled button, and the held listing must be the press's own.
    panel.panel->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel.panel.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.fixture.processes->calls >= 2; }, 20'000));
    QCoro::waitFor(panel.model->refresh());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return isIdle(*panel.model) && sweep->isEnabled(); }, 20'000));
    QSignalSpy phases(panel.model.get(), &AppModel::phaseChanged);
    panel.fixture.processList->hold(1);
    sweep->click();
    ASSERT_TRUE(panel.fixture.processList->waitForWaiting(1));

    panel.panel->hide();
    panel.fixture.processList->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return phases.count() >= 2; }, 20'000)); // scanned again
    QCoreApplication::processEvents();
    panel.panel->show();
    EXPECT_FALSE(panel.shows("confirmation"));
}

// At first start the welcome window takes the focus while the panel was never shown: that
// must not start a scan ahead of the start-up work. Another application taking the focus
// closes the pop-up, but only once the pop-up had the focus itself: the window it replaced
// may report losing the focus after it opened.
TEST(PanelActions, OtherWindowsTakingTheFocusCloseThePopUpOnlyOnceItHadTheFocus) {
    PanelFixture panel;
    const int reads = panel.fixture.volume->reads;
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(panel.fixture.volume->reads, reads);

    panel.panel->showAnchored({400, 10});
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_TRUE(panel.panel->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel.panel.get()));
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_FALSE(panel.panel->isVisible());
}

// A blocked row never shows ticked, its message wins over the detail, and its click asks
// nothing of the model: built afresh, or reusing a row that was not blocked.
TEST(SweepRow, ABlockedRowIsNeverTickedAndIgnoresClicks) {
    const std::string quit = "Quit Visual Studio Code to sweep this.";
    const auto row = makeRow("npm cache", Category::javascript, 1);
    for (const bool blocked : {false, true}) {
        const auto block = blocked ? std::optional(quit) : std::nullopt;
        SweepRow fresh(row, block, false);
        SweepRow reused(makeRow("other", Category::python, 5, false),
                        blocked ? std::nullopt : std::optional(quit), false);
        reused.setContents(row, block, false);
        for (SweepRow* widget : {&fresh, &reused}) {
            SCOPED_TRACE(std::string(blocked ? "blocked" : "free") +
                         (widget == &fresh ? "" : ", reused"));
            EXPECT_EQ(widget->isTicked(), !blocked);
            EXPECT_EQ(widget->detailText().toStdString(), blocked ? quit : row.item.detail);
            QSignalSpy toggled(widget, &SweepRow::toggled);
            QTest::mouseClick(widget->findChild<QToolButton*>(QStringLiteral("toggle")),
                              Qt::LeftButton);
            EXPECT_EQ(toggled.count(), blocked ? 0 : 1);
        }
    }
}

// Without a feed no check can start; the window still answers instead of hanging. A new
// version's download opens.
TEST(PanelUpdateWindow, AnswersAndOpensTheDownload) {
    PanelFixture panel;
    UpdateWindow window(panel.updater, panel.opener);
    window.check();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isChecking(); }, 5000));
    EXPECT_NE(window.headline(), "Checking…");

    window.showOutcome(Updater::NewVersion{"9.0", "https://example.org/notes",
                                           "https://example.org/pellwick-9.0.deb"});
    for (auto* button : window.findChildren<QAbstractButton*>())
        if (button->isVisibleTo(&window) && button->text() == "Download")
            button->click();
    EXPECT_EQ(panel.opener->opened, QStringList{"https://example.org/pellwick-9.0.deb"});
}

} // namespace
