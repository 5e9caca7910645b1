#include "ui/Icons.h"

#include <gtest/gtest.h>

namespace {

// Every symbol the catalog and the views name is in the set, which holds no others, and is
// drawn only in the requested colour.
TEST(Icons, EveryNamedSymbolIsInTheSetAndDrawnInTheRequestedColour) {
    const QStringList named =
        QStringLiteral("internaldrive exclamationmark.circle.fill hammer iphone ipad.and.iphone "
                       "book shippingbox safari app.dashed sparkles mug folder archivebox "
                       "ellipsis.circle checkmark.circle.fill circle chevron.down bell.slash "
                       "bell.badge exclamationmark.triangle checkmark.shield checkmark.circle")
            .split(QLatin1Char(' '));
    EXPECT_EQ(Icons::symbolNames().size(), named.size());
    const QColor tint(200, 40, 90);
    for (const QString& name : named) {
        const std::string shown = name.toStdString();
        EXPECT_TRUE(Icons::hasSymbol(name)) << shown;
        EXPECT_TRUE(Icons::symbolNames().contains(name)) << shown;
        const QImage image =
            Icons::image(name, tint, QSize(32, 32)).convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull()) << shown;
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() < 255)
                    continue;
                ++opaque;
                EXPECT_EQ(pixel.rgb(), tint.rgb()) << shown << " at " << x << "," << y;
            }
        }
        EXPECT_GT(opaque, 10) << shown << " draws almost nothing";
    }
}

// Unknown names draw nothing, and the application's own icon is no symbol.
TEST(Icons, UnknownNamesDrawNothing) {
    for (const char* name : {"trash.slash", "pellwick"}) {
        EXPECT_FALSE(Icons::hasSymbol(QString::fromLatin1(name))) << name;
        EXPECT_TRUE(Icons::image(QString::fromLatin1(name), Qt::black, QSize(16, 16)).isNull());
        EXPECT_TRUE(Icons::pixmap(QString::fromLatin1(name), Qt::black, 16).isNull());
    }
    EXPECT_FALSE(Icons::applicationIcon().isNull());
}

} // namespace
