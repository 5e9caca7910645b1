#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

// The whole-gigabyte figure drawn into a tray icon, for hosts that show an icon but no label.
// The tray's own colours are unknown to us (a dark panel under a light theme is common), so
// the digits get an outline of the opposite lightness that keeps them legible on any panel.
namespace TrayFigure {

// The figure on a transparent `side`-pixel square, as large as the square allows.
[[nodiscard]] QImage image(const QString& figure, const QColor& color, int side);

// An icon with the figure at the usual tray sizes, also at twice the pixels for HiDPI
// screens; the symbol alone while there is no figure yet.
[[nodiscard]] QIcon icon(const QString& figure, const QString& symbol, const QColor& color);

// The outline colour that contrasts with `color`.
[[nodiscard]] QColor outlineColor(const QColor& color);

} // namespace TrayFigure
