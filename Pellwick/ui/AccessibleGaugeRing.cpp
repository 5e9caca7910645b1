#include "ui/AccessibleGaugeRing.h"

#include "ui/GaugeRing.h"

#include <cmath>

AccessibleGaugeRing::AccessibleGaugeRing(GaugeRing* gauge)
    : QAccessibleWidget(gauge, QAccessible::ProgressBar) {
}

GaugeRing* AccessibleGaugeRing::gauge() const {
    return static_cast<GaugeRing*>(widget());
}

QString AccessibleGaugeRing::text(QAccessible::Text type) const {
    if (type == QAccessible::Name || type == QAccessible::Value)
        return GaugeRing::percentText(gauge()->fraction()) + QStringLiteral(" used");
    return QAccessibleWidget::text(type);
}

void* AccessibleGaugeRing::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QVariant AccessibleGaugeRing::currentValue() const {
    return std::round(gauge()->fraction() * 100);
}

// The gauge shows the volume; nobody sets it.
void AccessibleGaugeRing::setCurrentValue(const QVariant&) {
}

QVariant AccessibleGaugeRing::maximumValue() const {
    return 100.0;
}

QVariant AccessibleGaugeRing::minimumValue() const {
    return 0.0;
}

QVariant AccessibleGaugeRing::minimumStepSize() const {
    return 1.0;
}
