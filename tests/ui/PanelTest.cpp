#include "PanelTestSupport.h"

#include "ui/SweepRow.h"
#include "ui/UpdateWindow.h"

#include <QCheckBox>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <optional>

namespace {

bool isIdle(const AppModel& model) {
    return std::holds_alternative<AppModel::Idle>(model.phase());
}

// Which of the list's faces show: looking around, tidy, the list of rows.
QString listFaces(const PanelFixture& panel) {
    QStringList shown;
    for (const char* name : {"lookingAround", "tidy", "listCard"})
        if (panel.shows(name))
            shown.append(QString::fromLatin1(name));
    return shown.join(',');
}

// Without rows the list looks around whatever the phase; with only empty rows it is tidy.
// Rows are grouped by category, projects first, and sorted by size, stably.
TEST(PanelList, LooksAroundIsTidyOrShowsSectionsSortedBySize) {
    PanelFixture panel;
    for (const AppModel::Phase& phase :
         {AppModel::Phase{AppModel::Scanning{}}, AppModel::Phase{AppModel::Failed{"x"}},
          AppModel::Phase{AppModel::Idle{}}}) {
        panel.model->setPhase(phase);
        EXPECT_EQ(listFaces(panel), "lookingAround") << phase.index();
    }
    panel.model->setRows(
        {makeRow("npm-cache", Category::javascript, 0), makeRow("pip-cache", Category::python, 0)});
    EXPECT_EQ(listFaces(panel), "tidy");
    panel.model->setRows(
        {makeRow("pip", Category::python, 10), makeRow("first", Category::javascript, 7),
         makeRow("empty", Category::xcode, 0), makeRow("second", Category::javascript, 7),
         makeRow("largest", Category::javascript, 9), makeRow("project", Category::projects, 1)});
    EXPECT_EQ(listFaces(panel), "listCard");
    QStringList shown;
    for (const auto* label : panel.panel->findChildren<QLabel*>("sectionHeading"))
        shown.append(label->text());
    for (const auto* row : panel.panel->findChildren<SweepRow*>())
        shown.append(row->titleText());
    EXPECT_EQ(shown, (QStringList{"DORMANT PROJECTS", "JAVASCRIPT", "PYTHON", "project", "largest",
                                  "first", "second", "pip"}));
}

// Past the estimated height the list scrolls, with a "More below" hint that lies below the
// rows' area, never over a row's text, and lets clicks through.
TEST(PanelList, ScrollsOnlyPastTheEstimatedHeight) {
    std::vector<AppModel::Row> five;
    for (int i = 0; i < 5; ++i)
        five.push_back(makeRow("js-" + std::to_string(i), Category::javascript, 1000 + i));
    auto threeAndOne = std::vector<AppModel::Row>(five.begin(), five.begin() + 3);
    threeAndOne.push_back(makeRow("pip-cache", Category::python, 5));
    for (const auto& [name, rows, scrolls] :
         {std::tuple{"one section of 5 rows", five, true},
          std::tuple{"sections of 3 and 1 rows", threeAndOne, false}}) {
        PanelFixture panel;
        panel.model->setRows(rows);
        auto* scroll = panel.find<QScrollArea>("listScrollArea");
        const QWidget* hint = panel.find("moreBelowHint");
        EXPECT_EQ(scroll != nullptr, scrolls) << name;
        EXPECT_EQ(hint != nullptr, scrolls) << name;
        if (!scroll || !hint)
            continue;
        EXPECT_TRUE(hint->testAttribute(Qt::WA_TransparentForMouseEvents));
        const QRect rowsArea(scroll->viewport()->mapTo(panel.panel.get(), QPoint()),
                             scroll->viewport()->size());
        EXPECT_FALSE(
            QRect(hint->mapTo(panel.panel.get(), QPoint()), hint->size()).intersects(rowsArea));
    }
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

// The outcome's texts show as typed (a failure names paths, never read as markup) until the
// user dismisses them.
TEST(PanelActions, OutcomesShowUntilDismissed) {
    const char* swept = "Swept about 4.2 GB. Free space can take a moment to update.";
    const char* refused = "<i>shop: Refused to touch /tmp/<b>x.";
    const std::tuple<AppModel::Phase, const char*, const char*> cases[] = {
        {AppModel::Done{4'200'000'000, 0}, swept, ""},
        {AppModel::Done{4'200'000'000, 3}, swept,
         "3 items were in use or changed, so they were left alone."},
        {AppModel::Failed{refused}, refused, ""}};
    for (const auto& [phase, text, skipped] : cases) {
        SCOPED_TRACE(std::string(text) + " " + skipped);
        PanelFixture panel;
        panel.model->setPhase(phase);
        const bool failed = std::holds_alternative<AppModel::Failed>(phase);
        const char* label = failed ? "failedLabel" : "sweptLabel";
        EXPECT_EQ(panel.text(label).toStdString(), text);
        EXPECT_EQ(panel.find<QLabel>(label)->textFormat(), Qt::PlainText);
        EXPECT_EQ(panel.shows("skippedLabel") ? panel.text("skippedLabel").toStdString() : "",
                  skipped);
        EXPECT_FALSE(panel.shows("sweepButton"));
        ASSERT_NE(panel.button(failed ? "OK" : "Done"), nullptr);
        panel.button(failed ? "OK" : "Done")->click();
        EXPECT_TRUE(isIdle(*panel.model));
    }

    // A Done pressed after the phase moved on changes nothing.
    PanelFixture panel;
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
    sweep->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return isIdle(*panel.model) && !panel.model->rows().empty() &&
                   panel.model->selectedBytes() == 0;
        },
        20'000));
    QCoreApplication::processEvents();
    EXPECT_FALSE(panel.shows("confirmation"));
    EXPECT_EQ(sweep->text(), "Nothing to sweep");

    panel.fixture.home.file(".npm/_cacache/content-v2/one", 50'000);
    QCoro::waitFor(panel.model->refresh());
    ASSERT_TRUE(sweep->isEnabled());
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
    ASSERT_GT(panel.model->selectedBytes(), 0);
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
    panel.panel->hide();
}

// At first start the welcome window takes the focus while the panel was never shown: that
// must not start a scan ahead of the start-up work.
TEST(PanelActions, AHiddenPanelIgnoresOtherWindowsTakingTheFocus) {
    PanelFixture panel;
    const int reads = panel.fixture.volume->reads;
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(panel.fixture.volume->reads, reads);
}

// Another application taking the focus closes the pop-up, but only once the pop-up had the
// focus itself: the window it replaced may report losing the focus after it opened.
TEST(PanelActions, ClosesWhenAnotherApplicationIsActiveOnlyAfterItHadTheFocus) {
    PanelFixture panel;
    panel.panel->showAnchored({400, 10});
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_TRUE(panel.panel->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel.panel.get()));
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_FALSE(panel.panel->isVisible());
}

// A folder named "<i>shop" shows as typed, never read as markup.
TEST(PanelProjects, TitleAndButtonsFollowTheRoots) {
    PanelFixture panel;
    EXPECT_NE(panel.button("Choose folder…"), nullptr);
    EXPECT_EQ(panel.button("Rescan"), nullptr);

    panel.model->setProjectRoots(
        {panel.fixture.home / "Developing", panel.fixture.home / "<i>shop"});
    EXPECT_EQ(panel.text("projectsTitle"), "Projects in Developing, <i>shop");
    EXPECT_EQ(panel.find<QLabel>("projectsTitle")->textFormat(), Qt::PlainText);
    for (const char* text : {"Add folder…", "Rescan", "Stop searching"})
        EXPECT_NE(panel.button(text), nullptr) << text;
    EXPECT_EQ(panel.button("Choose folder…"), nullptr);
}

// Opening the panel leaves the default unwritten, so it follows the volume; the slider writes
// the setting; a stored value shows the whole gigabytes the alert uses, clamped like it, and
// the status line follows it.
TEST(PanelThreshold, LabelAndStatusFollowTheDefaultTheSliderAndTheStoredValue) {
    const auto nudge = [](const char* gb) {
        return QStringLiteral("Nudge me when less than %1 GB is free").arg(gb);
    };
    const QString key = QStringLiteral("thresholdGB");
    PanelFixture panel(1'000'000'000, 200'000'000'000);
    EXPECT_EQ(panel.text("thresholdLabel"), nudge("20"));
    panel.panel->show();
    QCoreApplication::processEvents();
    panel.fixture.volume->figures = {1'000'000'000, 500'000'000'000};
    panel.model->refreshFreeSpace();
    EXPECT_FALSE(panel.fixture.settings->values.contains(key));
    EXPECT_EQ(panel.text("thresholdLabel"), nudge("50"));
    panel.panel->hide();

    panel.find<QSlider>("thresholdSlider")->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(panel.fixture.settings->values.value(key), QVariant(55.0));
    EXPECT_EQ(panel.text("thresholdLabel"), nudge("55"));

    EXPECT_EQ(panel.text("freeLabel"), "1 GB free");
    for (const auto& [stored, shown, status] :
         {std::tuple{-1e30, "-9223372036", "Plenty of room to breathe."},
          std::tuple{12.5, "12", "Getting cozy in here. Time for a tidy-up?"}}) {
        panel.model->setThresholdGB(stored);
        EXPECT_EQ(panel.text("thresholdLabel"), nudge(shown)) << stored;
        EXPECT_EQ(panel.text("statusLine"), status) << stored;
    }
}

// Open at login springs back when the desktop refuses; the notice shows only while
// notifications are denied and opens their settings.
TEST(PanelFooter, OpenAtLoginAndTheNotificationsNotice) {
    PanelFixture panel;
    panel.fixture.loginItem->refuses = true;
    auto* box = panel.find<QCheckBox>("openAtLogin");
    box->click();
    EXPECT_FALSE(box->isChecked());

    EXPECT_FALSE(panel.shows("notificationsNotice"));
    panel.model->setNotificationsDenied(true);
    EXPECT_TRUE(panel.shows("notificationsNotice"));
    panel.button("Turn on")->click();
    EXPECT_EQ(panel.opener->opened, QStringList{AddressOpener::notificationSettingsAddress});
}

TEST(PanelPlacement, CentredUnderTheClickAndKeptOnScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const std::pair<QPoint, QPoint> cases[] = {
        {{1000, 20}, {830, 24}},    // top bar
        {{1900, 20}, {1580, 24}},   // right edge
        {{10, 20}, {0, 24}},        // left edge
        {{1000, 1070}, {830, 566}}, // bottom bar: above the click
    };
    for (const auto& [anchor, topLeft] : cases)
        EXPECT_EQ(PellwickView::panelGeometry(QSize(340, 500), anchor, screen).topLeft(), topLeft)
            << anchor.x() << "," << anchor.y();
}

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

// The feed's texts show as typed, never read as markup.
TEST(PanelUpdateWindow, ShowsEachOutcomeAndOpensTheDownload) {
    Updater updater{QUrl()};
    auto opener = std::make_shared<RecordingOpener>();
    UpdateWindow window(updater, opener);
    // Without a feed no check can start; the window still answers instead of hanging.
    window.check();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isChecking(); }, 5000));
    EXPECT_NE(window.headline(), "Checking…");

    window.showOutcome(Updater::UpToDate{});
    EXPECT_TRUE(window.detail().contains(PELLWICK_VERSION));
    window.showOutcome(Updater::Error{"<b>The feed could not be read."});
    EXPECT_EQ(window.detail(), "<b>The feed could not be read.");
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("updateDetail"))->textFormat(),
              Qt::PlainText);

    window.showOutcome(Updater::NewVersion{"9.0", "https://example.org/notes",
                                           "https://example.org/pellwick-9.0.deb"});
    EXPECT_EQ(window.headline(), "Pellwick 9.0 is available.");
    for (auto* button : window.findChildren<QAbstractButton*>())
        if (button->isVisibleTo(&window) &&
            (button->text() == "Download" || button->text() == "Release Notes"))
            button->click();
    EXPECT_EQ(opener->opened.size(), 2);
    EXPECT_TRUE(opener->opened.contains("https://example.org/pellwick-9.0.deb"));
}

} // namespace
