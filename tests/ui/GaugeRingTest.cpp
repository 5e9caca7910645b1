#include "ui/GaugeRing.h"

#include "ui/SystemStyle.h"

#include <QImage>
#include <QSignalSpy>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The gauge reads out its percentage too: halves round away from zero.
TEST(GaugeRing, PercentRoundsHalvesAwayFromZero) {
    for (const auto& [fraction, text] :
         {std::pair{0.004, "0%"}, std::pair{0.005, "1%"}, std::pair{0.995, "100%"}})
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
        const int distance = std::max({std::abs(shown.red() - colour.red()),
                                       std::abs(shown.green() - colour.green()),
                                       std::abs(shown.blue() - colour.blue())});
        pattern += distance < 40 ? '#' : '.';
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
}

// A new fraction glides there; the same one starts no animation.
TEST(GaugeRing, NewFractionGlidesThereAndTheSameOneDoesNothing) {
    GaugeRing ring(0.2, false);
    ring.setFraction(0.2);
    EXPECT_FALSE(ring.isAnimating());
    ring.setFraction(0.8);
    EXPECT_TRUE(ring.isAnimating());
    QSignalSpy finished(ring.findChild<QVariantAnimation*>(), &QAbstractAnimation::finished);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_DOUBLE_EQ(ring.shownFraction(), 0.8);
}

} // namespace
