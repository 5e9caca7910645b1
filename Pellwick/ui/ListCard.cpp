#include "ui/ListCard.h"

#include "ui/SystemStyle.h"

#include <QPainter>

ListCard::ListCard(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
    setContentsMargins(0, 0, 0, 0);
}

void ListCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor border = SystemStyle::quaternary(palette());
    QColor fill = border;
    fill.setAlphaF(static_cast<float>(border.alphaF() * fillOpacity));

    // A 1-pixel pen centred half a pixel inside the edge draws the border within the shape.
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = cornerRadius - 0.5;
    painter.setPen(QPen(border, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(shape, radius, radius);
}
