#pragma once

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

class GaugeRing;

// The gauge as assistive technology sees it: a progress bar named like its label ("83% used")
// whose value is the used share in percent, 0 to 100.
class AccessibleGaugeRing : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleGaugeRing(GaugeRing* gauge);

    [[nodiscard]] QString text(QAccessible::Text type) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    [[nodiscard]] QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    [[nodiscard]] QVariant maximumValue() const override;
    [[nodiscard]] QVariant minimumValue() const override;
    [[nodiscard]] QVariant minimumStepSize() const override;

private:
    [[nodiscard]] GaugeRing* gauge() const;
};
