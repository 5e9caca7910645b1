#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

// Pellwick's own monochrome symbols (SVG in the resources, drawn in black) and its application
// icon. A symbol is tinted at draw time with the colour the caller asks for, so one file serves
// the accent, secondary and warning looks in light and dark themes. Unknown names draw
// nothing.
namespace Icons {

// Every symbol the set holds, by name ("internaldrive", "checkmark.circle.fill" ...).
[[nodiscard]] QStringList symbolNames();
[[nodiscard]] bool hasSymbol(const QString& name);

// The symbol in `color` on a transparent `pixelSize` image (premultiplied ARGB32); a null
// image for an unknown name.
[[nodiscard]] QImage image(const QString& name, const QColor& color, QSize pixelSize);
// The same for a widget: `logicalSize` points square at the given device pixel ratio.
[[nodiscard]] QPixmap pixmap(const QString& name, const QColor& color, int logicalSize,
                             qreal devicePixelRatio = 1);
// Drawn anew for each size and device pixel ratio it is asked for.
[[nodiscard]] QIcon icon(const QString& name, const QColor& color);

[[nodiscard]] QIcon applicationIcon();
[[nodiscard]] QImage applicationImage(QSize pixelSize);

} // namespace Icons
