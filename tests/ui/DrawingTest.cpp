// What the gauge, the symbol set and the tray's figure draw, which no other test looks at:
// the labels' contrast and the symbols' sharpness are measured in AccessTest.
#include "ui/GaugeRing.h"
#include "ui/Icons.h"
#include "ui/SystemStyle.h"
#include "ui/TrayFigure.h"

#include <QPainter>
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

// The arc starts at the top and grows clockwise, orange when space is low: "#" where the arc's
// colour shows on the middle of the stroke at the top, right, bottom and left of the ring.
TEST(GaugeRing, ArcStartsAtTheTopAndGrowsClockwise) {
    const QPalette palette = GaugeRing().palette();
    for (const auto& [fraction, isLow, pattern] :
         {std::tuple{0.3, false, "##.."}, std::tuple{1.0, false, "####"},
          std::tuple{0.0, false, "...."}, std::tuple{0.3, true, "##.."}}) {
        const QColor colour = isLow ? SystemStyle::orange(palette) : SystemStyle::green(palette);
        const QImage image =
            GaugeRing(fraction, isLow).grab().toImage().scaled(GaugeRing::side, GaugeRing::side);
        std::string shown;
        for (const QPoint point : {QPoint(32, 4), QPoint(59, 32), QPoint(32, 59), QPoint(4, 32)}) {
            const QColor pixel = image.pixelColor(point);
            shown += std::max({std::abs(pixel.red() - colour.red()),
                               std::abs(pixel.green() - colour.green()),
                               std::abs(pixel.blue() - colour.blue())}) < 40
                         ? '#'
                         : '.';
        }
        EXPECT_EQ(shown, pattern) << fraction << " low " << isLow;
    }
}

// A new fraction glides there; the same one starts no animation. The animation's clock is
// moved by hand rather than waited for.
TEST(GaugeRing, NewFractionGlidesThereAndTheSameOneDoesNothing) {
    GaugeRing ring(0.2, false);
    ring.setFraction(0.2);
    EXPECT_FALSE(ring.isAnimating());
    ring.setFraction(0.8);
    ASSERT_TRUE(ring.isAnimating());
    auto* animation = ring.findChild<QVariantAnimation*>();
    animation->setCurrentTime(animation->duration() / 2);
    EXPECT_GT(ring.shownFraction(), 0.2);
    EXPECT_LT(ring.shownFraction(), 0.8);
    animation->setCurrentTime(animation->duration());
    EXPECT_DOUBLE_EQ(ring.shownFraction(), 0.8);
}

// Every symbol of the set draws something, in the requested colour only. Unknown names, the
// application's own icon among them, draw nothing.
TEST(Icons, EverySymbolDrawsInTheRequestedColourAndUnknownNamesNothing) {
    const QColor tint(200, 40, 90);
    EXPECT_GT(Icons::symbolNames().size(), 10);
    for (const QString& name : Icons::symbolNames()) {
        const QImage image =
            Icons::image(name, tint, QSize(32, 32)).convertToFormat(QImage::Format_ARGB32);
        int opaque = 0, otherColour = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).alpha() == 255) {
                    ++opaque;
                    otherColour += image.pixelColor(x, y).rgb() != tint.rgb();
                }
        EXPECT_GT(opaque, 10) << name.toStdString() << " draws almost nothing";
        EXPECT_EQ(otherColour, 0) << name.toStdString();
    }
    for (const char* name : {"trash.slash", "pellwick"})
        EXPECT_TRUE(Icons::pixmap(QString::fromLatin1(name), Qt::black, 16).isNull()) << name;
    EXPECT_FALSE(Icons::applicationImage(QSize(32, 32)).isNull());
}

// The panel's colours are unknown: every text colour stays legible on a light and a dark
// panel, counted as pixels a clear step in lightness away from it. High-density screens get
// a figure drawn for them, not a smaller one enlarged.
TEST(TrayFigure, LegibleOnLightAndDarkPanelsAndSharpOnHighDensity) {
    for (const QColor& text : {QColor(Qt::black), QColor(Qt::white), QColor(255, 149, 0)}) {
        for (const QColor& panel : {QColor(Qt::white), QColor(0xf6, 0xf5, 0xf4),
                                    QColor(0x20, 0x20, 0x20), QColor(Qt::black)}) {
            QImage composed(22, 22, QImage::Format_RGB32);
            composed.fill(panel);
            QPainter(&composed).drawImage(0, 0, TrayFigure::image(QStringLiteral("237"), text, 22));
            int contrasting = 0;
            for (int y = 0; y < composed.height(); ++y)
                for (int x = 0; x < composed.width(); ++x)
                    contrasting += std::abs(qGray(composed.pixel(x, y)) - qGray(panel.rgb())) > 100;
            EXPECT_GT(contrasting, 15)
                << text.name().toStdString() << " on " << panel.name().toStdString();
        }
    }
    const QIcon icon =
        TrayFigure::icon(QStringLiteral("83"), QStringLiteral("internaldrive"), Qt::black);
    EXPECT_EQ(icon.pixmap(QSize(22, 22), 2.0).toImage().convertToFormat(QImage::Format_ARGB32),
              TrayFigure::image(QStringLiteral("83"), Qt::black, 44)
                  .convertToFormat(QImage::Format_ARGB32));
    EXPECT_FALSE(TrayFigure::icon({}, QStringLiteral("internaldrive"), Qt::black).isNull());
}

} // namespace
