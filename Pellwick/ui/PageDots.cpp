#include "ui/PageDots.h"

#include "ui/SystemStyle.h"

#include <QPainter>

PageDots::PageDots(int count, QWidget* parent) : QWidget(parent), count_(count) {
    setFixedSize(sizeHint());
    describeCurrentPage();
}

void PageDots::describeCurrentPage() {
    setAccessibleName(QStringLiteral("Page %1 of %2").arg(current_ + 1).arg(count_));
}

void PageDots::setCurrent(int index) {
    if (current_ == index)
        return;
    current_ = index;
    describeCurrentPage();
    update();
}

QSize PageDots::sizeHint() const {
    return {count_ * diameter + std::max(count_ - 1, 0) * gap, diameter};
}

void PageDots::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor others = SystemStyle::secondary(palette());
    others.setAlphaF(others.alphaF() * 0.3f);
    for (int index = 0; index < count_; ++index) {
        painter.setBrush(index == current_ ? SystemStyle::accent(palette()) : others);
        painter.drawEllipse(index * (diameter + gap), 0, diameter, diameter);
    }
}
