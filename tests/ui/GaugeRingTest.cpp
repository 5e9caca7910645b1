#include "ui/GaugeRing.h"

#include "ui/SystemStyle.h"

#include <QImage>
#include <QSignalSpy>
#include <QVariantAnimation>

#include <gtest/gtest.h>

namespace {

TEST(GaugeRing, PercentRoundsHalvesAwayFromZero) {
    const std::pair<double, const char*> cases[] = {
        {0, "0%"},    {0.004, "0%"},  {0.005, "1%"},   {0.015, "2%"}, {0.025, "3%"},
        {0.5, "50%"}, {0.994, "99%"}, {0.995, "100%"}, {1, "100%"},
    };
    for (const auto& [fraction, text] : cases)
        EXPECT_EQ(GaugeRing::percentText(fraction).toStdString(), text) << fraction;
}

// Where the arc's colour shows on the middle of the stroke, at the top, right, bottom and left
// of the ring: "#" where it does, "." where it does not.
std::string arcAt(double fraction, bool isLow, const QColor& colour) {
    GaugeRing ring(fraction, isLow);
    const QImage image = ring.grab().toImage().scaled(GaugeRing::side, GaugeRing::side);
    std::string pattern;
    for (const QPoint point : {QPoint(32, 4), QPoint(59, 32), QPoint(32, 59), QPoint(4, 32)}) {
        const QColor shown = image.pixelColor(point);
        pattern += std::abs(shown.red() - colour.red()) < 40 &&
                           std::abs(shown.green() - colour.green()) < 40 &&
                           std::abs(shown.blue() - colour.blue()) < 40
                       ? '#'
                       : '.';
    }
    return pattern;
}

// The arc starts at the top and grows clockwise, orange when space is low.
TEST(GaugeRing, ArcStartsAtTheTopAndGrowsClockwise) {
    const QPalette palette = GaugeRing().palette();
    const QColor green = SystemStyle::green(palette), orange = SystemStyle::orange(palette);
    EXPECT_EQ(arcAt(0.3, false, green), "##..");
    EXPECT_EQ(arcAt(1, false, green), "####");
    EXPECT_EQ(arcAt(0, false, green), "....");
    EXPECT_EQ(arcAt(0.3, true, orange), "##..");
    EXPECT_EQ(arcAt(0.3, true, green), "....");
}

TEST(GaugeRing, NewFractionGlidesThereAndTheSameOneDoesNothing) {
    GaugeRing ring(0.2, false);
    ring.setFraction(0.2);
    EXPECT_FALSE(ring.isAnimating());

    ring.setFraction(0.8);
    EXPECT_DOUBLE_EQ(ring.fraction(), 0.8);
    EXPECT_TRUE(ring.isAnimating());
    auto* animation = ring.findChild<QVariantAnimation*>();
    ASSERT_NE(animation, nullptr);
    QSignalSpy finished(animation, &QAbstractAnimation::finished);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_DOUBLE_EQ(ring.shownFraction(), 0.8);
}

} // namespace
