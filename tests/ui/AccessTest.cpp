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

#include <functional>
#include <map>

namespace {

// --- Keyboard -------------------------------------------------------------------------------

void press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window;
    QTest::keyClick(target, key, modifiers);
}

// Down until `wanted` has the focus; at most once round the panel.
bool moveFocusTo(PellwickView& panel, const QWidget* wanted) {
    for (std::size_t step = 0; step <= panel.focusChain().size(); ++step) {
        if (QApplication::focusWidget() == wanted)
            return true;
        press(&panel, Qt::Key_Down);
    }
    return false;
}

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

    // Tab and Shift+Tab, Down and Up walk the same chain, in reading order, both ways round.
    const auto chain = panel.panel->focusChain();
    const auto rows = panel.panel->findChildren<SweepRow*>();
    ASSERT_EQ(rows.size(), 2);
    ASSERT_TRUE(moveFocusTo(*panel.panel, chain.front()));
    for (const auto& [forward, backward] :
         {std::pair{Qt::Key_Tab, Qt::Key_Backtab}, std::pair{Qt::Key_Down, Qt::Key_Up}}) {
        for (std::size_t index = 1; index <= chain.size(); ++index) {
            press(panel.panel.get(), forward);
            EXPECT_EQ(QApplication::focusWidget(), chain[index % chain.size()]) << index;
        }
        press(panel.panel.get(), backward);
        EXPECT_EQ(QApplication::focusWidget(), chain.back());
        press(panel.panel.get(), forward);
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
    ASSERT_TRUE(moveFocusTo(*panel.panel, rows[1]));
    const auto selected = panel.model->selectedBytes();
    press(panel.panel.get(), Qt::Key_Space);
    EXPECT_FALSE(rows[1]->isTicked());
    EXPECT_LT(panel.model->selectedBytes(), selected);
    press(panel.panel.get(), Qt::Key_Space);
    EXPECT_TRUE(rows[1]->isTicked());
    EXPECT_EQ(panel.panel->findChildren<SweepRow*>(), rows);

    // Return: the sweep button, the confirmation's Sweep, then Done.
    ASSERT_TRUE(moveFocusTo(*panel.panel, panel.find("sweepButton")));
    press(panel.panel.get(), Qt::Key_Return);
    const auto focusReaches = [&](const char* name, auto find) {
        return QTest::qWaitFor(
            [&] { return panel.shows(name) && QApplication::focusWidget() == find(); }, 20'000);
    };
    ASSERT_TRUE(focusReaches("confirmation", [&] { return panel.find("confirmSweepButton"); }));
    // A slow sweep: the confirmation goes while nothing else here can take the focus yet.
    panel.fixture.measurement->hold();
    press(panel.panel.get(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::holds_alternative<AppModel::Sweeping>(panel.model->phase()) &&
                   !panel.shows("confirmation");
        },
        20'000));
    panel.fixture.measurement->open();
    ASSERT_TRUE(focusReaches("doneOutcome", [&] { return panel.button("Done"); }));
    press(panel.panel.get(), Qt::Key_Return);
    EXPECT_TRUE(std::holds_alternative<AppModel::Idle>(panel.model->phase()));

    press(panel.panel.get(), Qt::Key_Escape);
    EXPECT_FALSE(panel.panel->isVisible());
}

// --- Contrast -------------------------------------------------------------------------------

struct Measured {
    std::string text;
    double ratio;
    double required;
};

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

// Each visible text (labels and button titles) and symbol of `window`, measured.
std::vector<Measured> measureTexts(QWidget* window) {
    const QImage render = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const double scale = render.devicePixelRatio();
    std::vector<Measured> measured;
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
        measured.push_back(
            {text.toStdString(), contrastInRender(render, box & render.rect()), required});
    }
    return measured;
}

std::vector<Measured> panelIn(const std::function<void(PanelFixture&)>& setUp) {
    PanelFixture panel(15'000'000'000);
    auto blocked = makeRow("vscode-app", Category::aiTools, 7'000'000, true);
    blocked.item.title = "VS Code";
    blocked.item.blockingProcesses = {"code"};
    panel.model->setThresholdGB(20);
    panel.model->setNotificationsDenied(true);
    panel.model->setRows({makeRow("npm-cache", Category::javascript, 9'000'000),
                          makeRow("pip-cache", Category::python, 5'000'000, false), blocked});
    panel.model->setRunningProcesses({"code"});
    setUp(panel);
    panel.panel->showAsWindow();
    panel.panel->adjustSize();
    return measureTexts(panel.panel.get());
}

std::vector<Measured> welcomePage(int page, bool notificationsAnswered) {
    ModelFixture fixture;
    AppModel model{fixture.environment()};
    OnboardingView view{model, fixture.settings};
    view.show();
    for (int step = 0; step < page; ++step)
        view.findChild<QPushButton*>(QStringLiteral("primary"))->click();
    if (notificationsAnswered) {
        auto* button = view.findChild<QPushButton*>(QStringLiteral("notificationsButton"));
        button->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !button->isEnabled(); }, 20'000));
    }
    return measureTexts(&view);
}

class Contrast : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        QApplication::setPalette(GetParam() ? SchemePalette::dark() : SchemePalette::light());
    }
    void TearDown() override { QApplication::setPalette(SchemePalette::light()); }
};

TEST_P(Contrast, EveryTextAndSymbolIsLegible) {
    const std::pair<const char*, std::vector<Measured>> surfaces[] = {
        {"panel with ticked, unticked and blocked rows", panelIn([](auto&) {})},
        {"panel looking around", panelIn([](auto& p) { p.model->setRows({}); })},
        {"panel done", panelIn([](auto& p) {
             p.model->setPhase(AppModel::Done{5, 2});
         })},
        {"panel failed",
         panelIn([](auto& p) { p.model->setPhase(AppModel::Failed{"Refused: /x"}); })},
        {"welcome page 1", welcomePage(0, false)},
        {"welcome page 2, notifications answered", welcomePage(1, true)},
        {"welcome page 3", welcomePage(2, false)}};
    double lowest = 21;
    for (const auto& [name, measured] : surfaces) {
        EXPECT_GT(measured.size(), 3u) << name;
        for (const auto& text : measured) {
            EXPECT_GE(text.ratio, text.required) << name << ": \"" << text.text << "\"";
            lowest = std::min(lowest, text.ratio);
        }
    }
    std::cout << (GetParam() ? "dark" : "light") << " scheme: lowest contrast " << lowest << ":1\n";
}

INSTANTIATE_TEST_SUITE_P(Schemes, Contrast, testing::Bool(),
                         [](const auto& info) { return info.param ? "Dark" : "Light"; });

// --- High density (ctest runs these with QT_SCALE_FACTOR=2) --------------------------------

TEST(HighDensity, SymbolsAreDrawnForTheScreenNotEnlarged) {
    if (qApp->devicePixelRatio() < 2)
        GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
    PanelFixture panel;
    panel.model->setRows({makeRow("npm-cache", Category::javascript, 9'000'000)});
    panel.panel->showAsWindow();
    const auto* toggle = panel.panel->findChild<SweepRow*>()->findChild<QToolButton*>();
    const QImage render = panel.panel->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(render.width(), 2 * panel.panel->width());

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
