#include "ui/Icons.h"

#include <gtest/gtest.h>

namespace {

// Every symbol the catalog and the views name is in the set, which holds no others, and is
// drawn only in the requested colour. Unknown names, the application's own icon among them,
// draw nothing.
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
        const QImage image =
            Icons::image(name, tint, QSize(32, 32)).convertToFormat(QImage::Format_ARGB32);
        int opaque = 0, otherColour = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).alpha() == 255) {
                    ++opaque;
                    otherColour += image.pixelColor(x, y).rgb() != tint.rgb();
                }
        EXPECT_TRUE(Icons::symbolNames().contains(name)) << name.toStdString();
        EXPECT_GT(opaque, 10) << name.toStdString() << " draws almost nothing";
        EXPECT_EQ(otherColour, 0) << name.toStdString();
    }
    for (const char* name : {"trash.slash", "pellwick"}) {
        EXPECT_FALSE(Icons::hasSymbol(QString::fromLatin1(name))) << name;
        EXPECT_TRUE(Icons::pixmap(QString::fromLatin1(name), Qt::black, 16).isNull()) << name;
    }
    EXPECT_FALSE(Icons::applicationIcon().isNull());
}

} // namespace
