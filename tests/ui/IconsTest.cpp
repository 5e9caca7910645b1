#include "ui/Icons.h"

#include <gtest/gtest.h>

namespace {

// Every symbol the catalog and the views name.
const char* const namedSymbols[] = {
    "internaldrive",
    "exclamationmark.circle.fill",
    "hammer",
    "iphone",
    "ipad.and.iphone",
    "book",
    "shippingbox",
    "safari",
    "app.dashed",
    "sparkles",
    "mug",
    "folder",
    "archivebox",
    "ellipsis.circle",
    "checkmark.circle.fill",
    "circle",
    "chevron.down",
    "bell.slash",
    "bell.badge",
    "exclamationmark.triangle",
    "checkmark.shield",
    "checkmark.circle",
};

TEST(Icons, EveryNamedSymbolIsInTheSet) {
    const QStringList names = Icons::symbolNames();
    for (const char* name : namedSymbols) {
        EXPECT_TRUE(Icons::hasSymbol(QString::fromLatin1(name))) << name;
        EXPECT_TRUE(names.contains(QString::fromLatin1(name))) << name;
    }
    EXPECT_EQ(names.size(), static_cast<qsizetype>(std::size(namedSymbols)));
}

TEST(Icons, SymbolsAreDrawnOnlyInTheRequestedColour) {
    const QColor tint(200, 40, 90);
    for (const char* name : namedSymbols) {
        const QImage image = Icons::image(QString::fromLatin1(name), tint, QSize(32, 32))
                                 .convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull()) << name;
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() < 255)
                    continue;
                ++opaque;
                EXPECT_EQ(pixel.rgb(), tint.rgb()) << name << " at " << x << "," << y;
            }
        }
        EXPECT_GT(opaque, 10) << name << " draws almost nothing";
    }
}

TEST(Icons, UnknownNamesDrawNothing) {
    EXPECT_FALSE(Icons::hasSymbol(QStringLiteral("trash.slash")));
    EXPECT_TRUE(Icons::image(QStringLiteral("trash.slash"), Qt::black, QSize(16, 16)).isNull());
    EXPECT_TRUE(Icons::pixmap(QStringLiteral("trash.slash"), Qt::black, 16).isNull());
}

TEST(Icons, ApplicationIconIsNotASymbol) {
    EXPECT_FALSE(Icons::applicationIcon().isNull());
    EXPECT_FALSE(Icons::hasSymbol(QStringLiteral("pellwick")));
}

} // namespace
