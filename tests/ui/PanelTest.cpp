#include "PanelTestSupport.h"

#include "ui/CleanupList.h"
#include "ui/MoreBelowHint.h"
#include "ui/PanelHeader.h"
#include "ui/SweepRow.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString thresholdKey = QStringLiteral("thresholdGB");

TEST(PanelHeader, StatusLineFollowsTheThreshold) {
    struct Case {
        std::int64_t free;
        const char* freeText;
        const char* status;
    };
    const Case cases[] = {
        {0, "Zero kB free", "Plenty of room to breathe."},
        {19'999'999'999, "20 GB free", "Getting cozy in here. Time for a tidy-up?"},
        {20'000'000'000, "20 GB free", "Plenty of room to breathe."},
    };
    for (const auto& c : cases) {
        PanelFixture panel(c.free);
        panel.model->setThresholdGB(20);
        EXPECT_EQ(panel.text("freeLabel").toStdString(), c.freeText) << c.free;
        EXPECT_EQ(panel.text("statusLine").toStdString(), c.status) << c.free;
    }
}

TEST(PanelHeader, MenuStartsWithTheVersionAndQuitsWithControlQ) {
    PanelFixture panel;
    QStringList texts;
    for (const auto* action : panel.panel->findChild<QMenu*>()->actions())
        texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(texts,
              (QStringList{
                  QStringLiteral("Pellwick " PELLWICK_VERSION " (" PELLWICK_BUILD_NUMBER ")"), "-",
                  "Check for Updates…", "Privacy Policy", "Support", "-", "Quit Pellwick"}));
    EXPECT_EQ(PanelHeader::versionLabel(QString(), QString()), "Pellwick ? (?)");
    const auto* quit = panel.panel->findChild<QMenu*>()->actions().last();
    EXPECT_EQ(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
}

TEST(PanelHeader, MenuOpensTheWebPagesAndFollowsTheUpdater) {
    PanelFixture panel;
    auto actions = panel.panel->findChild<QMenu*>()->actions();
    for (auto* action : actions)
        if (action->text() == "Privacy Policy" || action->text() == "Support")
            action->trigger();
    EXPECT_EQ(panel.opener->opened, (QStringList{"https://quenlix.com/pellwick/privacy",
                                                 "https://quenlix.com/pellwick/support"}));
    // No feed address in this build of the updater: no check can start.
    EXPECT_FALSE(actions[2]->isEnabled());
}

TEST(PanelList, LooksAroundWhileThereAreNoRowsWhateverThePhase) {
    const AppModel::Phase phases[] = {AppModel::Idle{}, AppModel::Scanning{}, AppModel::Sweeping{},
                                      AppModel::Done{1, 0}, AppModel::Failed{"x"}};
    for (const auto& phase : phases) {
        PanelFixture panel;
        panel.model->setPhase(phase);
        EXPECT_TRUE(panel.shows("lookingAround")) << phase.index();
        EXPECT_FALSE(panel.shows("tidy")) << phase.index();
        EXPECT_FALSE(panel.shows("listCard")) << phase.index();
    }
}

TEST(PanelList, OnlyEmptyRowsAreTidy) {
    PanelFixture panel;
    panel.model->setRows(
        {makeRow("npm-cache", Category::javascript, 0), makeRow("pip-cache", Category::python, 0)});
    EXPECT_FALSE(panel.shows("lookingAround"));
    EXPECT_TRUE(panel.shows("tidy"));
    EXPECT_FALSE(panel.shows("listCard"));
}

TEST(PanelList, ScrollsOnlyPastTheEstimatedHeight) {
    struct Case {
        const char* name;
        std::vector<AppModel::Row> rows;
        bool scrolls;
    };
    std::vector<AppModel::Row> five;
    for (int i = 0; i < 5; ++i)
        five.push_back(makeRow("js-" + std::to_string(i), Category::javascript, 1000 + i));
    auto threeAndOne = std::vector<AppModel::Row>(five.begin(), five.begin() + 3);
    threeAndOne.push_back(makeRow("pip-cache", Category::python, 5));
    const Case cases[] = {{"one section of 5 rows", five, true},
                          {"sections of 3 and 1 rows", threeAndOne, false}};
    for (const auto& c : cases) {
        PanelFixture panel;
        panel.model->setRows(c.rows);
        auto* scroll = panel.find<QScrollArea>("listScrollArea");
        EXPECT_EQ(scroll != nullptr, c.scrolls) << c.name;
        EXPECT_EQ(panel.find("moreBelowHint") != nullptr, c.scrolls) << c.name;
        if (scroll) {
            EXPECT_EQ(scroll->height(), 320) << c.name;
            EXPECT_EQ(scroll->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn) << c.name;
            EXPECT_TRUE(
                panel.find("moreBelowHint")->testAttribute(Qt::WA_TransparentForMouseEvents));
            EXPECT_EQ(panel.find("moreBelowHint")->accessibleName(), "More below");
            // The hint lies below the rows' area, never over a row's text.
            const QWidget* hint = panel.find("moreBelowHint");
            const QRect rowsArea(scroll->viewport()->mapTo(panel.panel.get(), QPoint()),
                                 scroll->viewport()->size());
            EXPECT_FALSE(
                QRect(hint->mapTo(panel.panel.get(), QPoint()), hint->size()).intersects(rowsArea));
        }
        EXPECT_EQ(int(panel.panel->findChildren<SweepRow*>().size()), int(c.rows.size()));
    }
}

TEST(PanelList, SectionsFollowTheCategoriesAndSortBySizeStably) {
    const std::vector<AppModel::Row> rows = {
        makeRow("pip", Category::python, 10),        makeRow("first", Category::javascript, 7),
        makeRow("empty", Category::xcode, 0),        makeRow("second", Category::javascript, 7),
        makeRow("largest", Category::javascript, 9), makeRow("project", Category::projects, 1)};
    const auto sections = CleanupList::sections(rows);
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[0].category, Category::projects);
    EXPECT_EQ(sections[1].category, Category::javascript);
    EXPECT_EQ(sections[2].category, Category::python);
    std::vector<std::string> ids;
    for (const auto& row : sections[1].rows)
        ids.push_back(row.item.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"largest", "first", "second"}));
    EXPECT_DOUBLE_EQ(CleanupList::estimatedListHeight(sections), 3 * 32 + 5 * 58);

    PanelFixture panel;
    panel.model->setRows(rows);
    QStringList headings;
    for (const auto* label : panel.panel->findChildren<QLabel*>("sectionHeading"))
        headings.append(label->text());
    EXPECT_EQ(headings, (QStringList{"DORMANT PROJECTS", "JAVASCRIPT", "PYTHON"}));
}

TEST(PanelList, RowsToggleTheirItemAndKeepTheirWidgets) {
    PanelFixture panel;
    panel.model->setRows({makeRow("npm-cache", Category::javascript, 5000)});
    auto* row = panel.panel->findChild<SweepRow*>();
    ASSERT_NE(row, nullptr);
    emit row->toggled();
    EXPECT_FALSE(panel.model->rows().front().isSelected);
    EXPECT_EQ(panel.panel->findChild<SweepRow*>(), row);
    EXPECT_FALSE(row->isTicked());
}

TEST(PanelActions, DoneReportsWhatWasLeftAlone) {
    struct Case {
        int skipped;
        const char* sentence;
    };
    const Case cases[] = {
        {0, ""},
        {1, "1 item was in use or changed, so it was left alone."},
        {3, "3 items were in use or changed, so they were left alone."},
    };
    for (const auto& c : cases) {
        PanelFixture panel;
        panel.model->setPhase(AppModel::Done{4'200'000'000, c.skipped});
        EXPECT_EQ(panel.text("sweptLabel").toStdString(),
                  "Swept about 4.2 GB. Free space can take a moment to update.");
        EXPECT_EQ(panel.shows("skippedLabel"), c.skipped > 0) << c.skipped;
        if (c.skipped > 0) {
            EXPECT_EQ(panel.text("skippedLabel").toStdString(), c.sentence);
        }
        EXPECT_FALSE(panel.shows("sweepButton"));
        ASSERT_NE(panel.button("Done"), nullptr);
        panel.button("Done")->click();
        EXPECT_TRUE(std::holds_alternative<AppModel::Idle>(panel.model->phase()));
    }
}

TEST(PanelActions, FailedShowsTheMessageUntilOK) {
    PanelFixture panel;
    panel.model->setPhase(AppModel::Failed{"Refused to touch /etc."});
    EXPECT_EQ(panel.text("failedLabel"), "Refused to touch /etc.");
    panel.button("OK")->click();
    EXPECT_TRUE(std::holds_alternative<AppModel::Idle>(panel.model->phase()));
}

TEST(PanelActions, DoneAfterThePhaseMovedOnChangesNothing) {
    PanelFixture panel;
    panel.model->setPhase(AppModel::Done{1, 0});
    auto* done = panel.button("Done");
    panel.model->setPhase(AppModel::Scanning{});
    done->click();
    EXPECT_TRUE(std::holds_alternative<AppModel::Scanning>(panel.model->phase()));
}

TEST(PanelActions, SweepButtonFollowsPhaseAndSelection) {
    struct Case {
        const char* name;
        AppModel::Phase phase;
        bool selected;
        const char* text;
        bool enabled;
    };
    const Case cases[] = {
        {"idle", AppModel::Idle{}, true, "Sweep 4.2 GB", true},
        {"scanning", AppModel::Scanning{}, true, "Checking…", false},
        {"sweeping", AppModel::Sweeping{}, true, "Sweep 4.2 GB", false},
        {"nothing selected", AppModel::Idle{}, false, "Nothing to sweep", false},
    };
    for (const auto& c : cases) {
        PanelFixture panel;
        panel.model->setRows(
            {makeRow("npm-cache", Category::javascript, 4'200'000'000, c.selected)});
        panel.model->setPhase(c.phase);
        auto* button = panel.find<QAbstractButton>("sweepButton");
        EXPECT_EQ(button->text().toStdString(), c.text) << c.name;
        EXPECT_EQ(button->isEnabled(), c.enabled) << c.name;
    }
}

// The sweep button measures again before it asks, so the files are real.
TEST(PanelActions, ConfirmationCountsTheTargetsMeasuredAfterThePress) {
    PanelFixture panel;
    panel.fixture.home.file(".npm/_cacache/content-v2/one", 50'000);
    QCoro::waitFor(panel.model->refresh());
    auto* sweep = panel.find<QAbstractButton>("sweepButton");
    ASSERT_TRUE(sweep->isEnabled());
    sweep->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.shows("confirmation"); }, 20'000));
    const QString text = panel.text("confirmationLabel");
    EXPECT_TRUE(text.startsWith("Sweep ")) << text.toStdString();
    EXPECT_TRUE(text.endsWith(" from 1 item? This can't be undone.")) << text.toStdString();
    panel.button("Cancel")->click();
    EXPECT_TRUE(panel.shows("sweepButton"));
}

// The panel closing while the sweep button's refresh runs takes the question with it.
TEST(PanelActions, AConfirmationDoesNotOutliveThePanel) {
    PanelFixture panel;
    panel.fixture.home.file(".npm/_cacache/content-v2/one", 50'000);
    QSignalSpy phases(panel.model.get(), &AppModel::phaseChanged);
    panel.panel->show(); // its own refresh scans: scanning, then idle
    ASSERT_TRUE(QTest::qWaitFor([&] { return phases.count() >= 2; }, 20'000));
    ASSERT_GT(panel.model->selectedBytes(), 0);
    panel.fixture.processList->hold(1);
    panel.find<QAbstractButton>("sweepButton")->click();
    ASSERT_TRUE(panel.fixture.processList->waitForWaiting(1));
    phases.clear();

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

TEST(PanelActions, NoConfirmationWhenNothingIsLeftAfterTheRefresh) {
    PanelFixture panel;
    panel.model->setRows({makeRow("npm-cache", Category::javascript, 4'200'000'000)});
    panel.find<QAbstractButton>("sweepButton")->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::holds_alternative<AppModel::Idle>(panel.model->phase()) &&
                   !panel.model->rows().empty() && panel.model->selectedBytes() == 0;
        },
        20'000));
    QCoreApplication::processEvents();
    EXPECT_FALSE(panel.shows("confirmation"));
    EXPECT_EQ(panel.find<QAbstractButton>("sweepButton")->text(), "Nothing to sweep");
}

// A folder named "<i>shop" or an error naming one shows as typed, never read as markup.
TEST(PanelTexts, FolderNamesAndErrorsAreShownAsPlainText) {
    PanelFixture panel;
    panel.model->setProjectRoots({panel.fixture.home / "<i>shop"});
    panel.model->setPhase(AppModel::Failed{"<i>shop: Refused to touch /tmp/<b>x."});
    for (const char* name : {"projectsTitle", "failedLabel"})
        EXPECT_EQ(panel.find<QLabel>(name)->textFormat(), Qt::PlainText) << name;
    EXPECT_EQ(panel.text("projectsTitle"), "Projects in <i>shop");
}

TEST(PanelProjects, TextsWithAndWithoutRoots) {
    PanelFixture panel;
    EXPECT_EQ(panel.text("projectsTitle"), "Find dormant projects");
    EXPECT_EQ(panel.text("projectsCaption").toStdString(),
              "Pick a folder like Developing. Only generated folders in projects untouched for "
              "60+ days are listed. Source code is never touched.");
    EXPECT_NE(panel.button("Choose folder…"), nullptr);
    EXPECT_EQ(panel.button("Rescan"), nullptr);

    panel.model->setProjectRoots({panel.fixture.home / "Developing", panel.fixture.home / "Work"});
    EXPECT_EQ(panel.text("projectsTitle"), "Projects in Developing, Work");
    EXPECT_EQ(panel.text("projectsCaption"),
              "Only generated folders are listed, never source code.");
    for (const char* text : {"Add folder…", "Rescan", "Stop searching"})
        EXPECT_NE(panel.button(text), nullptr) << text;
    EXPECT_EQ(panel.button("Choose folder…"), nullptr);
}

TEST(PanelThreshold, OpeningThePanelLeavesTheDefaultUnwritten) {
    PanelFixture panel(1'000'000'000, 200'000'000'000);
    EXPECT_EQ(panel.text("thresholdLabel").toStdString(), "Nudge me when less than 20 GB is free");
    panel.panel->show();
    QCoreApplication::processEvents();
    panel.fixture.volume->figures = {1'000'000'000, 500'000'000'000};
    panel.model->refreshFreeSpace();
    EXPECT_FALSE(panel.fixture.settings->values.contains(thresholdKey));
    EXPECT_EQ(panel.text("thresholdLabel").toStdString(), "Nudge me when less than 50 GB is free");
    panel.panel->hide();
}

// The label shows the whole gigabytes of the byte count the alert uses, clamped like it.
TEST(PanelThreshold, LabelClampsAStoredValueBeyondSixtyFourBits) {
    const std::pair<double, const char*> cases[] = {
        {12.5, "12"}, {1e30, "9223372036"}, {-1e30, "-9223372036"}};
    for (const auto& [stored, shown] : cases) {
        PanelFixture panel;
        panel.model->setThresholdGB(stored);
        EXPECT_EQ(panel.text("thresholdLabel"),
                  QStringLiteral("Nudge me when less than %1 GB is free").arg(shown));
    }
}

TEST(PanelThreshold, MovingTheSliderWritesTheSetting) {
    PanelFixture panel; // 500 GB volume: the default is 50
    EXPECT_EQ(panel.text("thresholdLabel").toStdString(), "Nudge me when less than 50 GB is free");
    panel.find<QSlider>("thresholdSlider")->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(panel.fixture.settings->values.value(thresholdKey), QVariant(55.0));
    EXPECT_EQ(panel.text("thresholdLabel").toStdString(), "Nudge me when less than 55 GB is free");
}

TEST(PanelFooter, OpenAtLoginSpringsBackWhenRefused) {
    PanelFixture panel;
    panel.fixture.loginItem->refuses = true;
    auto* box = panel.find<QCheckBox>("openAtLogin");
    box->click();
    EXPECT_FALSE(box->isChecked());
    panel.fixture.loginItem->refuses = false;
    box->click();
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(panel.fixture.loginItem->enabled);
}

TEST(PanelNotice, ShownOnlyWhileNotificationsAreDenied) {
    PanelFixture panel;
    EXPECT_FALSE(panel.shows("notificationsNotice"));
    panel.model->setNotificationsDenied(true);
    EXPECT_TRUE(panel.shows("notificationsNotice"));
    panel.button("Turn on")->click();
    EXPECT_EQ(panel.opener->opened, QStringList{AddressOpener::notificationSettingsAddress});
}

TEST(PanelPlacement, CentredUnderTheClickAndKeptOnScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize size(340, 500);
    struct Case {
        QPoint anchor;
        QPoint topLeft;
    };
    const Case cases[] = {
        {{1000, 20}, {830, 24}},    // top bar
        {{1900, 20}, {1580, 24}},   // right edge
        {{10, 20}, {0, 24}},        // left edge
        {{1000, 1070}, {830, 566}}, // bottom bar: above the click
    };
    for (const auto& c : cases)
        EXPECT_EQ(PellwickView::panelGeometry(size, c.anchor, screen).topLeft(), c.topLeft)
            << c.anchor.x() << "," << c.anchor.y();
}

} // namespace
