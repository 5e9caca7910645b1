#include "ui/AccessibleSweepRow.h"

#include "ui/SweepRow.h"

AccessibleSweepRow::AccessibleSweepRow(SweepRow* row)
    : QAccessibleWidget(row, QAccessible::CheckBox) {
}

SweepRow* AccessibleSweepRow::row() const {
    return static_cast<SweepRow*>(widget());
}

QString AccessibleSweepRow::text(QAccessible::Text type) const {
    switch (type) {
    case QAccessible::Name:
        return row()->titleText();
    case QAccessible::Description:
        return row()->accessibleSummary();
    default:
        return QAccessibleWidget::text(type);
    }
}

QAccessible::State AccessibleSweepRow::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.checkable = true;
    state.checked = row()->isTicked();
    state.disabled = row()->isBlocked();
    return state;
}

QStringList AccessibleSweepRow::actionNames() const {
    if (row()->isBlocked())
        return QAccessibleWidget::actionNames();
    return QStringList{toggleAction()} + QAccessibleWidget::actionNames();
}

void AccessibleSweepRow::doAction(const QString& actionName) {
    if (actionName == toggleAction() || actionName == pressAction())
        row()->requestToggle();
    else
        QAccessibleWidget::doAction(actionName);
}
