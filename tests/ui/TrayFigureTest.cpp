#include "ui/TrayFigure.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

// Pixels that stand out from the panel behind the icon by a clear step in lightness.
int contrastingPixels(const QImage& figure, const QColor& panel) {
    QImage composed(figure.size(), QImage::Format_RGB32);
    composed.fill(panel);
    QPainter(&composed).drawImage(0, 0, figure);
    int count = 0;
    for (int y = 0; y < composed.height(); ++y)
        for (int x = 0; x < composed.width(); ++x)
            count += std::abs(qGray(composed.pixel(x, y)) - qGray(panel.rgb())) > 100;
    return count;
}

// The panel's colours are unknown: every text colour stays legible on a light and a dark panel.
TEST(TrayFigure, LegibleOnLightAndDarkPanels) {
    for (const QColor& text : {QColor(Qt::black), QColor(Qt::white), QColor(255, 149, 0)}) {
        for (const QColor& panel : {QColor(Qt::white), QColor(0xf6, 0xf5, 0xf4),
                                    QColor(0x20, 0x20, 0x20), QColor(Qt::black)}) {
            const QImage image = TrayFigure::image(QStringLiteral("237"), text, 22);
            EXPECT_GT(contrastingPixels(image, panel), 15)
                << text.name().toStdString() << " on " << panel.name().toStdString();
        }
    }
}

TEST(TrayFigure, IconCarriesEverySizeAlsoForHighDensityScreens) {
    const QIcon icon =
        TrayFigure::icon(QStringLiteral("83"), QStringLiteral("internaldrive"), Qt::black);
    EXPECT_TRUE(icon.availableSizes().contains(QSize(22, 22)));
    EXPECT_EQ(icon.pixmap(QSize(22, 22), 2.0).size(), QSize(44, 44));
    EXPECT_FALSE(TrayFigure::icon({}, QStringLiteral("internaldrive"), Qt::black).isNull());
}

} // namespace
