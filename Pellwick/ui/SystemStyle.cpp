#include "ui/SystemStyle.h"

#include <QApplication>

#include <algorithm>
#include <cmath>

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

// The text colour at `opacity` over the window, as one opaque colour.
QColor over(const QColor& color, const QColor& background, double opacity) {
    const auto mix = [opacity](double top, double bottom) {
        return top * opacity + bottom * (1 - opacity);
    };
    return QColor::fromRgbF(static_cast<float>(mix(color.redF(), background.redF())),
                            static_cast<float>(mix(color.greenF(), background.greenF())),
                            static_cast<float>(mix(color.blueF(), background.blueF())));
}

double channelLuminance(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& color) {
    return 0.2126 * channelLuminance(color.redF()) + 0.7152 * channelLuminance(color.greenF()) +
           0.0722 * channelLuminance(color.blueF());
}

// Above the 4.5 each text needs: labels sit on the list card's faint tint, and the thin
// strokes of caption-size text never reach their full colour on screen.
constexpr double dimmedTextTarget = 5.4;

QColor dimmedText(const QPalette& palette, double opacity) {
    const QColor window = palette.color(QPalette::Window);
    return SystemStyle::legible(over(SystemStyle::primary(palette), window, opacity), window,
                                dimmedTextTarget);
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

double contrastRatio(const QColor& a, const QColor& b) {
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor legible(const QColor& color, const QColor& background, double ratio) {
    const QColor extreme =
        contrastRatio(Qt::black, background) >= contrastRatio(Qt::white, background)
            ? QColor(Qt::black)
            : QColor(Qt::white);
    constexpr int steps = 50;
    QColor candidate = color;
    for (int step = 1; step <= steps && contrastRatio(candidate, background) < ratio; ++step)
        candidate = over(extreme, color, double(step) / steps);
    return candidate;
}

QColor primary(const QPalette& palette) {
    return palette.color(QPalette::WindowText);
}

// The label hierarchy dims the text colour rather than picking fixed greys, so it follows
// whatever the theme's text colour is, and stops dimming where legibility would suffer.
QColor secondary(const QPalette& palette) {
    return dimmedText(palette, 0.5);
}

QColor tertiary(const QPalette& palette) {
    return dimmedText(palette, 0.26);
}

QColor quaternary(const QPalette& palette) {
    return withAlpha(primary(palette), 0.1);
}

QColor accent(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}

QColor link(const QPalette& palette) {
    return legible(palette.color(QPalette::Link), palette.color(QPalette::Window),
                   dimmedTextTarget);
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor green(const QPalette& palette) {
    const QColor base = isDark(palette) ? QColor(48, 209, 88) : QColor(52, 199, 89);
    return legible(base, palette.color(QPalette::Window), symbolContrast);
}

QColor orange(const QPalette& palette) {
    const QColor base = isDark(palette) ? QColor(255, 159, 10) : QColor(255, 149, 0);
    return legible(base, palette.color(QPalette::Window), symbolContrast);
}

QColor redText(const QPalette& palette) {
    const QColor base = isDark(palette) ? QColor(255, 69, 58) : QColor(255, 59, 48);
    return legible(base, palette.color(QPalette::Window), dimmedTextTarget);
}

QColor greenText(const QPalette& palette) {
    return legible(green(palette), palette.color(QPalette::Window), dimmedTextTarget);
}

} // namespace SystemStyle
