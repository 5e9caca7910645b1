#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

// The named text sizes and system colours of the panel's design, mapped onto the Qt palette
// and the application font, so light and dark themes both work. Sizes keep their proportions
// to the body size (13 on the design's grid), which is the application font's size here.
namespace SystemStyle {

enum class TextSize { title3, body, callout, footnote, caption, caption2 };

[[nodiscard]] QFont font(TextSize size, QFont::Weight weight = QFont::Normal);
// A font of `designPoints` on the design's grid (the gauge's 9-point "used").
[[nodiscard]] QFont fontOfDesignSize(double designPoints, QFont::Weight weight = QFont::Normal);

[[nodiscard]] QColor primary(const QPalette& palette);
[[nodiscard]] QColor secondary(const QPalette& palette);
[[nodiscard]] QColor quaternary(const QPalette& palette);
[[nodiscard]] QColor accent(const QPalette& palette);
[[nodiscard]] QColor green(const QPalette& palette);
[[nodiscard]] QColor orange(const QPalette& palette);

[[nodiscard]] bool isDark(const QPalette& palette);

} // namespace SystemStyle
