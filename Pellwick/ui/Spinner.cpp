#include "ui/Spinner.h"

#include "ui/SystemStyle.h"

#include <QPainter>
#include <QTimerEvent>

Spinner::Spinner(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
    setAccessibleName(QStringLiteral("Busy"));
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const double outer = std::min(width(), height()) / 2.0 - 1;
    QColor color = SystemStyle::primary(palette());
    for (int spoke = 0; spoke < spokes; ++spoke) {
        const int age = (step_ - spoke + spokes) % spokes;
        color.setAlphaF(static_cast<float>(1.0 - 0.8 * age / spokes));
        painter.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -outer * 0.45), QPointF(0, -outer));
        painter.rotate(360.0 / spokes);
    }
}

void Spinner::showEvent(QShowEvent*) {
    timer_.start(100, this);
}

void Spinner::hideEvent(QHideEvent*) {
    timer_.stop();
}

void Spinner::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId())
        return QWidget::timerEvent(event);
    step_ = (step_ + 1) % spokes;
    update();
}
