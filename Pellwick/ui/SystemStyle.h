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

// Every text must reach this contrast against its background (WCAG 2 AA), large text and
// symbols the lower one.
constexpr double textContrast = 4.5;
constexpr double symbolContrast = 3.0;

// The WCAG 2 contrast ratio of two opaque colours, 1 to 21.
[[nodiscard]] double contrastRatio(const QColor& a, const QColor& b);
// `color`, moved towards black or white (whichever stands out more from `background`) just
// far enough to reach `ratio` against it.
[[nodiscard]] QColor legible(const QColor& color, const QColor& background, double ratio);

[[nodiscard]] QColor primary(const QPalette& palette);
// The dimmed text levels: opaque, as far towards the background as legibility allows.
[[nodiscard]] QColor secondary(const QPalette& palette);
[[nodiscard]] QColor tertiary(const QPalette& palette);
// Fills and hairlines only, never text.
[[nodiscard]] QColor quaternary(const QPalette& palette);
// The accent for fills and symbols; `link` for text in the accent colour.
[[nodiscard]] QColor accent(const QPalette& palette);
[[nodiscard]] QColor link(const QPalette& palette);
// Graphics (the gauge's arc, marks): legible as symbols.
[[nodiscard]] QColor green(const QPalette& palette);
[[nodiscard]] QColor orange(const QPalette& palette);
// Text in a signal colour: a failure, the chosen folders.
[[nodiscard]] QColor redText(const QPalette& palette);
[[nodiscard]] QColor greenText(const QPalette& palette);

[[nodiscard]] bool isDark(const QPalette& palette);

} // namespace SystemStyle
