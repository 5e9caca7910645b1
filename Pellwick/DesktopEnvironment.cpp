#include "DesktopEnvironment.h"

#include "platform/linux/IniSettingsStore.h"
#include "platform/linux/StatvfsVolumeCapacity.h"

#include <QDir>

AppModel::Environment desktopEnvironment() {
    return AppModel::Environment{
        .home = QDir::homePath().toStdString(),
        .claudeScratch = claudeScratchDirectory(),
        .volume = std::make_shared<StatvfsVolumeCapacity>(),
        .settings = std::make_shared<IniSettingsStore>(),
        .clock = std::make_shared<SystemClock>(),
    };
}
