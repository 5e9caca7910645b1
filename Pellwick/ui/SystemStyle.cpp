#include "ui/SystemStyle.h"

#include <QApplication>

namespace {

constexpr double designBodySize = 13;

double designSize(SystemStyle::TextSize size) {
    switch (size) {
    case SystemStyle::TextSize::title3:
        return 15;
    case SystemStyle::TextSize::body:
        return 13;
    case SystemStyle::TextSize::callout:
        return 12;
    case SystemStyle::TextSize::footnote:
    case SystemStyle::TextSize::caption:
    case SystemStyle::TextSize::caption2:
        return 10;
    }
    return designBodySize;
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

} // namespace

namespace SystemStyle {

QFont fontOfDesignSize(double designPoints, QFont::Weight weight) {
    QFont font = QApplication::font();
    const double bodyPoints = font.pointSizeF() > 0 ? font.pointSizeF() : 10;
    font.setPointSizeF(bodyPoints * designPoints / designBodySize);
    font.setWeight(weight);
    return font;
}

QFont font(TextSize size, QFont::Weight weight) {
    return fontOfDesignSize(designSize(size), weight);
}

QColor primary(const QPalette& palette) {
    return palette.color(QPalette::WindowText);
}

// The label hierarchy dims the text colour rather than picking fixed greys, so it follows
// whatever the theme's text colour is.
QColor secondary(const QPalette& palette) {
    return withAlpha(primary(palette), 0.5);
}

QColor quaternary(const QPalette& palette) {
    return withAlpha(primary(palette), 0.1);
}

QColor accent(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor green(const QPalette& palette) {
    return isDark(palette) ? QColor(48, 209, 88) : QColor(52, 199, 89);
}

QColor orange(const QPalette& palette) {
    return isDark(palette) ? QColor(255, 159, 10) : QColor(255, 149, 0);
}

} // namespace SystemStyle
