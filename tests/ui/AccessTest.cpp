// What keyboard-only users, low-vision users (contrast in both schemes) and high-density
// screens get from the panel and the welcome window.
#include "PanelTestSupport.h"

#include "ui/Icons.h"
#include "ui/OnboardingView.h"
#include "ui/SchemePalette.h"
#include "ui/SweepRow.h"
#include "ui/SymbolLabel.h"
#include "ui/SystemStyle.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <map>

namespace {

// Measures each visible text (labels and button titles) and symbol of `window` against what
// its size requires; returns how many there were. The background is the commonest colour in
// the text's box, the text the one that stands out most from it (anti-aliasing only blends
// between the two).
int expectLegible(QWidget* window) {
    const QImage render = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int measured = 0;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        const auto* symbol = qobject_cast<SymbolLabel*>(widget);
        const QString text = symbol ? symbol->symbol() : widget->property("text").toString();
        if (text.isEmpty() || widget->visibleRegion().isEmpty())
            continue;
        const QFont font = widget->font();
        const bool large = font.pointSizeF() >= 18 || (font.pointSizeF() >= 14 && font.bold());
        // Large text needs what a symbol needs, 3:1.
        const double required =
            symbol || large ? SystemStyle::symbolContrast : SystemStyle::textContrast;
        // Inside the bevel, whose edge may be darker than the title.
        const int inset = qobject_cast<const QPushButton*>(widget) ? 4 : 0;
        const QRect visible =
            widget->visibleRegion().boundingRect().adjusted(inset, inset, -inset, -inset);
        // ctest measures at scale 1, where widget and render coordinates are the same.
        const QRect box = QRect(widget->mapTo(window, visible.topLeft()), visible.size());
        std::map<QRgb, int> counts;
        QRgb background = render.pixel(box.topLeft());
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (++counts[render.pixel(x, y)] > counts[background])
                    background = render.pixel(x, y);
        double contrast = 1;
        for (const auto& [pixel, count] : counts)
            contrast = std::max(contrast, SystemStyle::contrastRatio(background, pixel));
        EXPECT_GE(contrast, required) << "\"" << text.toStdString() << "\"";
        ++measured;
    }
    return measured;
}

// --- Keyboard -------------------------------------------------------------------------------

TEST(KeyboardOnly, FindChooseSweepAndDismissWithoutAMouse) {
    PanelFixture panel;
    panel.fixture.home.file(".npm/_cacache/content-v2/one", 50'000);
    panel.fixture.home.file(".cache/pip/http/one", 40'000);
    panel.panel->showAsWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel.panel.get()));
    ASSERT_TRUE(panel.panel->isAncestorOf(QApplication::focusWidget()));
    // Opening scans; the sweep button joins the chain once that is over.
    auto* sweep = panel.find("sweepButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return sweep->isEnabled(); }, 20'000));
    const auto chain = panel.panel->focusChain();
    const auto rows = panel.panel->findChildren<SweepRow*>();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_LT(std::find(chain.begin(), chain.end(), rows[1]),
              std::find(chain.begin(), chain.end(), sweep));
    // With no widget focused, QTest gives the key to the active window.
    const auto press = [](Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget(), key);
    };
    std::vector<QImage> unfocused;
    panel.panel->setFocus();
    for (QWidget* widget : chain)
        unfocused.push_back(widget->grab().toImage());

    // Tab and Shift+Tab, Down and Up walk the same chain, in reading order, both ways round;
    // every stop shows that it has the focus.
    chain.front()->setFocus();
    for (const auto& [forward, backward] :
         {std::pair{Qt::Key_Tab, Qt::Key_Backtab}, std::pair{Qt::Key_Down, Qt::Key_Up}}) {
        for (std::size_t index = 1; index <= chain.size(); ++index) {
            press(forward);
            const std::size_t stop = index % chain.size();
            EXPECT_EQ(QApplication::focusWidget(), chain[stop]) << index;
            EXPECT_NE(chain[stop]->grab().toImage(), unfocused[stop]) << index;
        }
        press(backward);
        EXPECT_EQ(QApplication::focusWidget(), chain.back());
        press(forward);
    }

    // Space unticks and ticks the focused row's item; the row stays the same widget.
    rows[1]->setFocus();
    const auto selected = panel.model->selectedBytes();
    press(Qt::Key_Space);
    EXPECT_FALSE(rows[1]->isTicked());
    EXPECT_LT(panel.model->selectedBytes(), selected);
    press(Qt::Key_Space);
    EXPECT_TRUE(rows[1]->isTicked());
    EXPECT_EQ(panel.panel->findChildren<SweepRow*>(), rows);

    // Return: the sweep button, the confirmation's Sweep, then Done.
    sweep->setFocus();
    press(Qt::Key_Return);
    const auto focusReaches = [&](const char* name, auto find) {
        return QTest::qWaitFor(
            [&] { return panel.shows(name) && QApplication::focusWidget() == find(); }, 20'000);
    };
    ASSERT_TRUE(focusReaches("confirmation", [&] { return panel.find("confirmSweepButton"); }));
    // A slow sweep: the confirmation goes while nothing else here can take the focus yet.
    panel.fixture.measurement->hold();
    press(Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.shows("confirmation"); }, 20'000));
    panel.fixture.measurement->open();
    ASSERT_TRUE(focusReaches("doneOutcome", [&] { return panel.button("Done"); }));
    press(Qt::Key_Return);
    EXPECT_TRUE(std::holds_alternative<AppModel::Idle>(panel.model->phase()));

    press(Qt::Key_Escape);
    EXPECT_FALSE(panel.panel->isVisible());
}

// Return belongs to the primary button even while another control has the focus; on the last
// page it completes the onboarding and closes the window. On the way the desktop answers that
// it has no notifications and a folder is chosen, each reaching the model. Every page, the
// answers showing, is legible in both schemes.
TEST(KeyboardOnly, WalksTheWelcomeWindowLegiblyAndCompletesOnReturn) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        QApplication::setPalette(dark ? SchemePalette::dark() : SchemePalette::light());
        ModelFixture fixture;
        AppModel model{fixture.environment()};
        OnboardingView view{model, fixture.settings};
        fixture.center->status = 1;
        fixture.chooser->answer =
            QStringList{QString::fromStdString(fixture.home.folder("Code").string())};
        view.show();
        view.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
        const auto answer = [&](const char* name, auto reached) {
            auto* button = view.findChild<QPushButton*>(QString::fromLatin1(name));
            button->click();
            button->setFocus();
            ASSERT_TRUE(QTest::qWaitFor(reached, 10'000)) << name;
        };
        for (int page = 0; page < OnboardingView::pageCount; ++page) {
            ASSERT_EQ(view.page(), page);
            EXPECT_NE(fixture.settings->boolValue(QStringLiteral("onboardingCompleted")), true);
            if (page == 1)
                answer("notificationsButton", [&] { return model.notificationsDenied(); });
            if (page == 2)
                answer("folderButton", [&] {
                    return model.projectRoots().size() == 1 && !model.isScanningProjects();
                });
            EXPECT_GT(expectLegible(&view), 3) << page;
            QTest::keyClick(QApplication::focusWidget(),
                            page == 1 ? Qt::Key_Enter : Qt::Key_Return);
        }
        EXPECT_EQ(fixture.settings->boolValue(QStringLiteral("onboardingCompleted")), true);
        EXPECT_FALSE(view.isVisible());
    }
    QApplication::setPalette(SchemePalette::light());
}

// --- Contrast -------------------------------------------------------------------------------

// The panel with ticked, unticked and blocked rows, and each outcome, in both schemes.
TEST(Contrast, EveryTextAndSymbolIsLegible) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        QApplication::setPalette(dark ? SchemePalette::dark() : SchemePalette::light());
        PanelFixture panel(15'000'000'000);
        auto blocked = makeRow("vscode-app", Category::aiTools, 7'000'000);
        blocked.item.blockingProcesses = {"code"};
        panel.model->setThresholdGB(20);
        panel.model->setNotificationsDenied(true);
        panel.model->setRows({makeRow("npm-cache", Category::javascript, 9'000'000),
                              makeRow("pip-cache", Category::python, 5'000'000, false), blocked});
        panel.model->setRunningProcesses({"code"});
        panel.panel->showAsWindow();
        for (const AppModel::Phase& phase :
             {AppModel::Phase{AppModel::Idle{}}, AppModel::Phase{AppModel::Done{5, 2}},
              AppModel::Phase{AppModel::Failed{"Refused: /x"}}}) {
            panel.model->setPhase(phase);
            panel.panel->adjustSize();
            EXPECT_GT(expectLegible(panel.panel.get()), 3) << phase.index();
        }
    }
    QApplication::setPalette(SchemePalette::light());
}

// --- High density (ctest runs these with QT_SCALE_FACTOR=2) --------------------------------

TEST(HighDensity, SymbolsAreDrawnForTheScreenNotEnlarged) {
    if (qApp->devicePixelRatio() < 2)
        GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
    PanelFixture panel;
    panel.model->setRows({makeRow("npm-cache", Category::javascript, 9'000'000)});
    const auto* toggle = panel.panel->findChild<SweepRow*>()->findChild<QToolButton*>();
    EXPECT_EQ(toggle->icon().pixmap(toggle->iconSize(), 2).toImage(),
              Icons::image(QStringLiteral("checkmark.circle.fill"),
                           SystemStyle::accent(panel.panel->palette()), toggle->iconSize() * 2));
}

} // namespace
