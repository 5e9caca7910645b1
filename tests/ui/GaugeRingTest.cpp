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

bool isNear(const QColor& actual, const QColor& expected) {
    return std::abs(actual.red() - expected.red()) < 40 &&
           std::abs(actual.green() - expected.green()) < 40 &&
           std::abs(actual.blue() - expected.blue()) < 40;
}

QImage render(double fraction, bool isLow) {
    GaugeRing ring(fraction, isLow);
    return ring.grab().toImage().scaled(GaugeRing::side, GaugeRing::side);
}

// Points on the middle of the stroke: top, right, bottom and left of the ring.
const QPoint top(32, 4), right(59, 32), bottom(32, 59), left(4, 32);

TEST(GaugeRing, ArcStartsAtTheTopAndGrowsClockwise) {
    const QPalette palette = GaugeRing().palette();
    const QColor green = SystemStyle::green(palette);

    const QImage quarter = render(0.3, false);
    EXPECT_TRUE(isNear(quarter.pixelColor(top), green));
    EXPECT_TRUE(isNear(quarter.pixelColor(right), green));
    EXPECT_FALSE(isNear(quarter.pixelColor(bottom), green));
    EXPECT_FALSE(isNear(quarter.pixelColor(left), green));

    const QImage full = render(1, false);
    for (const QPoint point : {top, right, bottom, left})
        EXPECT_TRUE(isNear(full.pixelColor(point), green));

    const QImage empty = render(0, false);
    for (const QPoint point : {top, right, bottom, left})
        EXPECT_FALSE(isNear(empty.pixelColor(point), green));
}

TEST(GaugeRing, LowTurnsTheArcOrangeAndLeavesTheTrack) {
    const QPalette palette = GaugeRing().palette();
    const QImage normal = render(0.3, false);
    const QImage low = render(0.3, true);
    EXPECT_TRUE(isNear(low.pixelColor(top), SystemStyle::orange(palette)));
    EXPECT_EQ(low.pixelColor(left), normal.pixelColor(left));
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
    EXPECT_EQ(animation->duration(), GaugeRing::animationMilliseconds);
    QSignalSpy finished(animation, &QAbstractAnimation::finished);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_DOUBLE_EQ(ring.shownFraction(), 0.8);
}

} // namespace
