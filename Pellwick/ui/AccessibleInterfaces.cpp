#include "ui/AccessibleInterfaces.h"

#include "ui/AccessibleGaugeRing.h"
#include "ui/AccessibleSweepRow.h"
#include "ui/GaugeRing.h"
#include "ui/SweepRow.h"

#include <QAccessible>

namespace {

QAccessibleInterface* pellwickInterface(const QString& className, QObject* object) {
    if (className == QLatin1String("SweepRow"))
        return new AccessibleSweepRow(qobject_cast<SweepRow*>(object));
    if (className == QLatin1String("GaugeRing"))
        return new AccessibleGaugeRing(qobject_cast<GaugeRing*>(object));
    return nullptr;
}

} // namespace

void installAccessibleInterfaces() {
    static const bool installed = [] {
        QAccessible::installFactory(pellwickInterface);
        return true;
    }();
    Q_UNUSED(installed);
}
