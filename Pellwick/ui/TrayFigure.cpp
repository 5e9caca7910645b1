#include "ui/TrayFigure.h"

#include "ui/Icons.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

namespace {

constexpr int iconSides[] = {16, 22, 24, 32, 48, 64};

} // namespace

namespace TrayFigure {

QColor outlineColor(const QColor& color) {
    return color.lightnessF() > 0.5 ? QColor(0, 0, 0, 220) : QColor(255, 255, 255, 230);
}

QImage image(const QString& figure, const QColor& color, int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (figure.isEmpty() || side <= 0)
        return image;
    const qreal outline = std::max(1.0, side / 12.0);
    const qreal room = side - 2 * outline;
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPixelSize(side);
    const QFontMetricsF metrics(font);
    const qreal scale =
        std::min(room / metrics.horizontalAdvance(figure), room * 0.8 / metrics.capHeight());
    font.setPixelSize(std::max(1, static_cast<int>(side * scale)));

    QPainterPath path;
    path.addText(0, 0, font, figure);
    const QRectF bounds = path.boundingRect();
    path.translate(QPointF(side / 2.0, side / 2.0) - bounds.center());

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.strokePath(
        path, QPen(outlineColor(color), 2 * outline, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(path, color);
    return image;
}

QIcon icon(const QString& figure, const QString& symbol, const QColor& color) {
    if (figure.isEmpty())
        return Icons::icon(symbol, color);
    QIcon icon;
    for (const int side : iconSides) {
        icon.addPixmap(QPixmap::fromImage(image(figure, color, side)));
        QPixmap doubled = QPixmap::fromImage(image(figure, color, 2 * side));
        doubled.setDevicePixelRatio(2);
        icon.addPixmap(doubled);
    }
    return icon;
}

} // namespace TrayFigure
