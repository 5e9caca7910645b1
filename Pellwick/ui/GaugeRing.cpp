#include "ui/GaugeRing.h"

#include "ui/AccessibleInterfaces.h"
#include "ui/SystemStyle.h"

#include <QAccessible>

#include <QPainter>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace {

// Anything outside 0…1 (including a non-finite value) is outside what the model produces; the
// ring then shows the nearest end instead of failing.
double clampedFraction(double fraction) {
    if (!std::isfinite(fraction))
        return 0;
    return std::clamp(fraction, 0.0, 1.0);
}

constexpr int qtDegrees = 16; // QPainter's arcs count sixteenths of a degree

} // namespace

GaugeRing::GaugeRing(double fraction, bool isLow, QWidget* parent)
    : QWidget(parent), fraction_(clampedFraction(fraction)), shownFraction_(fraction_),
      isLow_(isLow), animation_(new QVariantAnimation(this)) {
    setFixedSize(side, side);
    installAccessibleInterfaces();
    animation_->setDuration(animationMilliseconds);
    animation_->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        shownFraction_ = value.toDouble();
        update();
    });
}

void GaugeRing::setFraction(double fraction) {
    const double target = clampedFraction(fraction);
    if (target == fraction_)
        return;
    fraction_ = target;
    QAccessibleValueChangeEvent valueChanged(this, std::round(fraction_ * 100));
    QAccessible::updateAccessibility(&valueChanged);
    QAccessibleEvent nameChanged(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&nameChanged);
    animation_->stop();
    animation_->setStartValue(shownFraction_);
    animation_->setEndValue(fraction_);
    animation_->start();
}

void GaugeRing::setLow(bool isLow) {
    if (isLow == isLow_)
        return;
    isLow_ = isLow;
    update();
}

bool GaugeRing::isAnimating() const {
    return animation_->state() == QAbstractAnimation::Running;
}

QString GaugeRing::percentText(double fraction) {
    // std::round rounds halves away from zero, as the label wants (not to the even neighbour).
    const double percent = std::round(clampedFraction(fraction) * 100);
    return QString::number(static_cast<int>(percent)) + QStringLiteral("%");
}

QSize GaugeRing::sizeHint() const {
    return {side, side};
}

void GaugeRing::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintRing(painter);
    paintLabel(painter);
}

void GaugeRing::paintRing(QPainter& painter) const {
    const double inset = lineWidth / 2;
    const QRectF circle = QRectF(rect()).adjusted(inset, inset, -inset, -inset);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(SystemStyle::quaternary(palette()), lineWidth, Qt::SolidLine, Qt::FlatCap));
    painter.drawEllipse(circle);

    if (shownFraction_ <= 0)
        return;
    const QColor arcColor = isLow_ ? SystemStyle::orange(palette()) : SystemStyle::green(palette());
    painter.setPen(QPen(arcColor, lineWidth, Qt::SolidLine, Qt::RoundCap));
    // Starts at twelve o'clock; a negative span runs clockwise.
    const int start = 90 * qtDegrees;
    const int span = -qRound(shownFraction_ * 360 * qtDegrees);
    painter.drawArc(circle, start, span);
}

void GaugeRing::paintLabel(QPainter& painter) const {
    using SystemStyle::TextSize;
    const QFont percentFont = SystemStyle::font(TextSize::footnote, QFont::Bold);
    const QFont usedFont = SystemStyle::fontOfDesignSize(9, QFont::Medium);
    const QFontMetrics percentMetrics(percentFont);
    const QFontMetrics usedMetrics(usedFont);

    // The two lines overlap by a point, as a tight stack.
    const int overlap = 1;
    const int blockHeight = percentMetrics.height() + usedMetrics.height() - overlap;
    const int top = (height() - blockHeight) / 2;
    const QRect percentLine(0, top, width(), percentMetrics.height());
    const QRect usedLine(0, percentLine.bottom() + 1 - overlap, width(), usedMetrics.height());

    painter.setFont(percentFont);
    painter.setPen(SystemStyle::primary(palette()));
    painter.drawText(percentLine, Qt::AlignCenter, percentText(fraction_));
    painter.setFont(usedFont);
    painter.setPen(SystemStyle::secondary(palette()));
    painter.drawText(usedLine, Qt::AlignCenter, QStringLiteral("used"));
}
