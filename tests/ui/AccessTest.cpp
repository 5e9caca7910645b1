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

// --- Keyboard -------------------------------------------------------------------------------

TEST(KeyboardOnly, FindChooseSweepAndDismissWithoutAMouse) {
    PanelFixture panel;
    panel.fixture.home.file(".npm/_cacache/content-v2/one", 50'000);
    panel.fixture.home.file(".cache/pip/http/one", 40'000);
    QCoro::waitFor(panel.model->refresh());
    panel.panel->showAsWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel.panel.get()));
    ASSERT_TRUE(panel.panel->isAncestorOf(QApplication::focusWidget()));
    // Opening rescans; the sweep button joins the chain once that is over.
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.find("sweepButton")->isEnabled(); }, 20'000));
    const auto chain = panel.panel->focusChain();
    const auto rows = panel.panel->findChildren<SweepRow*>();
    ASSERT_EQ(rows.size(), 2);
    const auto press = [&](Qt::Key key) {
        QWidget* focused = QApplication::focusWidget();
        QTest::keyClick(focused ? focused : panel.panel.get(), key);
    };
    // Down until `wanted` has the focus; at most once round the panel.
    const auto moveFocusTo = [&](const QWidget* wanted) {
        for (std::size_t step = 0; step < chain.size() && QApplication::focusWidget() != wanted;
             ++step)
            press(Qt::Key_Down);
        return QApplication::focusWidget() == wanted;
    };

    // Tab and Shift+Tab, Down and Up walk the same chain, in reading order, both ways round.
    ASSERT_TRUE(moveFocusTo(chain.front()));
    for (const auto& [forward, backward] :
         {std::pair{Qt::Key_Tab, Qt::Key_Backtab}, std::pair{Qt::Key_Down, Qt::Key_Up}}) {
        for (std::size_t index = 1; index <= chain.size(); ++index) {
            press(forward);
            EXPECT_EQ(QApplication::focusWidget(), chain[index % chain.size()]) << index;
        }
        press(backward);
        EXPECT_EQ(QApplication::focusWidget(), chain.back());
        press(forward);
    }
    EXPECT_LT(std::find(chain.begin(), chain.end(), rows[1]),
              std::find(chain.begin(), chain.end(), panel.find("sweepButton")));

    // Every stop shows that it has the focus.
    for (QWidget* widget : chain) {
        widget->setFocus();
        const QImage focused = widget->grab().toImage();
        panel.panel->setFocus();
        EXPECT_NE(focused, widget->grab().toImage())
            << widget->metaObject()->className() << " " << widget->objectName().toStdString();
    }

    // Space unticks and ticks the focused row's item; the row stays the same widget.
    ASSERT_TRUE(moveFocusTo(rows[1]));
    const auto selected = panel.model->selectedBytes();
    press(Qt::Key_Space);
    EXPECT_FALSE(rows[1]->isTicked());
    EXPECT_LT(panel.model->selectedBytes(), selected);
    press(Qt::Key_Space);
    EXPECT_TRUE(rows[1]->isTicked());
    EXPECT_EQ(panel.panel->findChildren<SweepRow*>(), rows);

    // Return: the sweep button, the confirmation's Sweep, then Done.
    ASSERT_TRUE(moveFocusTo(panel.find("sweepButton")));
    press(Qt::Key_Return);
    const auto focusReaches = [&](const char* name, auto find) {
        return QTest::qWaitFor(
            [&] { return panel.shows(name) && QApplication::focusWidget() == find(); }, 20'000);
    };
    ASSERT_TRUE(focusReaches("confirmation", [&] { return panel.find("confirmSweepButton"); }));
    // A slow sweep: the confirmation goes while nothing else here can take the focus yet.
    panel.fixture.measurement->hold();
    press(Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::holds_alternative<AppModel::Sweeping>(panel.model->phase()) &&
                   !panel.shows("confirmation");
        },
        20'000));
    panel.fixture.measurement->open();
    ASSERT_TRUE(focusReaches("doneOutcome", [&] { return panel.button("Done"); }));
    press(Qt::Key_Return);
    EXPECT_TRUE(std::holds_alternative<AppModel::Idle>(panel.model->phase()));

    press(Qt::Key_Escape);
    EXPECT_FALSE(panel.panel->isVisible());
}

// Return belongs to the primary button even while another control has the focus; on the last
// page it completes the onboarding and closes the window. On the way the desktop answers that
// it has no notifications and a folder is chosen, each reaching the model.
TEST(KeyboardOnly, WalksTheWelcomeWindowAndCompletesOnReturn) {
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
            answer("folderButton",
                   [&] { return model.projectRoots().size() == 1 && !model.isScanningProjects(); });
        QTest::keyClick(QApplication::focusWidget(), page == 1 ? Qt::Key_Enter : Qt::Key_Return);
    }
    EXPECT_EQ(fixture.settings->boolValue(QStringLiteral("onboardingCompleted")), true);
    EXPECT_FALSE(view.isVisible());
}

// --- Contrast -------------------------------------------------------------------------------

// The background is the commonest colour in the text's box, the text the one that stands
// out most from it (anti-aliasing only blends between the two).
double contrastInRender(const QImage& render, const QRect& box) {
    std::map<QRgb, int> counts;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            ++counts[render.pixel(x, y)];
    if (counts.empty())
        return 21;
    const QColor background(std::max_element(counts.begin(), counts.end(), [](auto a, auto b) {
                                return a.second < b.second;
                            })->first);
    double best = 1;
    for (const auto& [pixel, count] : counts)
        best = std::max(best, SystemStyle::contrastRatio(background, QColor(pixel)));
    return best;
}

// Measures each visible text (labels and button titles) and symbol of `window` against what
// its size requires; returns how many there were.
int expectLegible(QWidget* window) {
    const QImage render = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const double scale = render.devicePixelRatio();
    int measured = 0;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(widget);
        const auto* button = qobject_cast<QAbstractButton*>(widget);
        const auto* symbol = qobject_cast<SymbolLabel*>(widget);
        QString text = label ? label->text() : button ? button->text() : QString();
        if (symbol && text.isEmpty())
            text = QStringLiteral("symbol ") + symbol->symbol();
        if (text.isEmpty() || !widget->isVisibleTo(window) || widget->visibleRegion().isEmpty())
            continue;
        const QFont font = widget->font();
        const bool large = font.pointSizeF() >= 18 || (font.pointSizeF() >= 14 && font.bold());
        const double required = symbol  ? SystemStyle::symbolContrast
                                : large ? 3
                                        : SystemStyle::textContrast;
        // Inside the bevel, whose edge may be darker than the title.
        const int inset = qobject_cast<const QPushButton*>(widget) ? 4 : 0;
        const QRect visible =
            widget->visibleRegion().boundingRect().adjusted(inset, inset, -inset, -inset);
        const QRect box(
            QPointF(QPointF(widget->mapTo(window, visible.topLeft())) * scale).toPoint(),
            visible.size() * scale);
        EXPECT_GE(contrastInRender(render, box & render.rect()), required)
            << "\"" << text.toStdString() << "\"";
        ++measured;
    }
    return measured;
}

// The panel with ticked, unticked and blocked rows, each outcome, and every page of the
// welcome window (the notifications question answered), in both schemes.
TEST(Contrast, EveryTextAndSymbolIsLegible) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        QApplication::setPalette(dark ? SchemePalette::dark() : SchemePalette::light());
        for (const AppModel::Phase& phase :
             {AppModel::Phase{AppModel::Idle{}}, AppModel::Phase{AppModel::Done{5, 2}},
              AppModel::Phase{AppModel::Failed{"Refused: /x"}}}) {
            SCOPED_TRACE(phase.index());
            PanelFixture panel(15'000'000'000);
            auto blocked = makeRow("vscode-app", Category::aiTools, 7'000'000, true);
            blocked.item.title = "VS Code";
            blocked.item.blockingProcesses = {"code"};
            panel.model->setThresholdGB(20);
            panel.model->setNotificationsDenied(true);
            panel.model->setRows({makeRow("npm-cache", Category::javascript, 9'000'000),
                                  makeRow("pip-cache", Category::python, 5'000'000, false),
                                  blocked});
            panel.model->setRunningProcesses({"code"});
            panel.model->setPhase(phase);
            panel.panel->showAsWindow();
            panel.panel->adjustSize();
            EXPECT_GT(expectLegible(panel.panel.get()), 3);
        }
        ModelFixture fixture;
        AppModel model{fixture.environment()};
        OnboardingView view{model, fixture.settings};
        view.show();
        for (int page = 0; page < OnboardingView::pageCount; ++page) {
            SCOPED_TRACE("welcome page " + std::to_string(page));
            if (page == 1) {
                auto* button = view.findChild<QPushButton*>(QStringLiteral("notificationsButton"));
                button->click();
                EXPECT_TRUE(QTest::qWaitFor([&] { return !button->isEnabled(); }, 20'000));
            }
            EXPECT_GT(expectLegible(&view), 3);
            view.findChild<QPushButton*>(QStringLiteral("primary"))->click();
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
    panel.panel->showAsWindow();
    const auto* toggle = panel.panel->findChild<SweepRow*>()->findChild<QToolButton*>();
    const QImage render = panel.panel->grab().toImage().convertToFormat(QImage::Format_ARGB32);

    const int side = toggle->iconSize().width();
    const QRect iconBox(QPoint(toggle->mapTo(panel.panel.get(), toggle->rect().center()) * 2) -
                            QPoint(side, side),
                        QSize(2 * side, 2 * side));
    const QColor accent = SystemStyle::accent(panel.panel->palette());
    const QImage sharp =
        Icons::image(QStringLiteral("checkmark.circle.fill"), accent, QSize(2 * side, 2 * side));
    const QImage enlarged =
        Icons::image(QStringLiteral("checkmark.circle.fill"), accent, QSize(side, side))
            .scaled(2 * side, 2 * side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // How far the render's coverage is from an image: the mean alpha difference, where the
    // render's alpha is how close each pixel is to the accent rather than the background.
    const QColor background = render.pixelColor(iconBox.topLeft());
    const auto distance = [&](const QImage& image) {
        double total = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor shown = render.pixelColor(iconBox.topLeft() + QPoint(x, y));
                const double coverage =
                    std::abs(shown.greenF() - background.greenF()) /
                    std::max(0.01f, std::abs(accent.greenF() - background.greenF()));
                total += std::abs(std::min(1.0, coverage) - image.pixelColor(x, y).alphaF());
            }
        return total / (image.width() * image.height());
    };
    EXPECT_LT(distance(sharp), 0.5 * distance(enlarged));
}

} // namespace
