#pragma once

#include <QAccessibleWidget>

class SweepRow;

// A list row as assistive technology sees it: a check box named by the item's title, its
// chip, size and detail (or block message) as the description, checked while ticked,
// unavailable while blocked, and ticked or unticked through its toggle action.
class AccessibleSweepRow : public QAccessibleWidget {
public:
    explicit AccessibleSweepRow(SweepRow* row);

    [[nodiscard]] QString text(QAccessible::Text type) const override;
    [[nodiscard]] QAccessible::State state() const override;
    [[nodiscard]] QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    [[nodiscard]] SweepRow* row() const;
};
