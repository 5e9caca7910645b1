#include "ui/MoreBelowHint.h"

#include "ui/Icons.h"
#include "ui/SystemStyle.h"

#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QPropertyAnimation>

namespace {
constexpr int symbolSize = 10;
constexpr int horizontalPadding = 10;
constexpr int verticalPadding = 4;
} // namespace

MoreBelowHint::MoreBelowHint(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("moreBelowHint"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(QStringLiteral("More below"));
    setFixedSize(sizeHint());
    opacity_ = new QGraphicsOpacityEffect(this);
    opacity_->setOpacity(1.0);
    setGraphicsEffect(opacity_);
    fade_ = new QPropertyAnimation(opacity_, "opacity", this);
    fade_->setDuration(fadeMilliseconds);
    fade_->setEasingCurve(QEasingCurve::OutCubic);
    // A hidden widget is out of the accessibility tree, so it leaves once it has faded.
    connect(fade_, &QPropertyAnimation::finished, this, [this] {
        if (atBottom_)
            hide();
    });
}

void MoreBelowHint::setAtBottom(bool atBottom) {
    if (atBottom == atBottom_)
        return;
    atBottom_ = atBottom;
    if (!atBottom_)
        show();
    fade_->stop();
    fade_->setStartValue(opacity_->opacity());
    fade_->setEndValue(targetOpacity());
    fade_->start();
}

QSize MoreBelowHint::sizeHint() const {
    return {symbolSize + 2 * horizontalPadding, symbolSize + 2 * verticalPadding};
}

void MoreBelowHint::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor material = palette().color(QPalette::Window);
    material.setAlphaF(0.92f);
    painter.setPen(QPen(SystemStyle::quaternary(palette()), 1));
    painter.setBrush(material);
    const QRectF capsule = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    const QPixmap chevron =
        Icons::pixmap(QStringLiteral("chevron.down"), SystemStyle::secondary(palette()), symbolSize,
                      devicePixelRatioF());
    painter.drawPixmap(horizontalPadding, verticalPadding, chevron);
}
