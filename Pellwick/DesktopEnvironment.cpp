#include "DesktopEnvironment.h"

#include "core/CleanerDiscovery.h"
#include "core/CleanerMeasurement.h"
#include "platform/linux/AutostartLoginItem.h"
#include "platform/linux/DBusNotificationCenter.h"
#include "platform/linux/DialogFolderChooser.h"
#include "platform/linux/IniSettingsStore.h"
#include "platform/linux/ProcessRunningApplications.h"
#include "platform/linux/StatvfsVolumeCapacity.h"
#include "platform/linux/SyslogSystemLog.h"

#include <QDir>

namespace {
// The login shell's start-up files may wait for a network mount or for input.
constexpr std::chrono::seconds discoveryTimeLimit{20};
} // namespace

AppModel::Environment desktopEnvironment() {
    const std::filesystem::path home = QDir::homePath().toStdString();
    return AppModel::Environment{
        .home = home,
        .claudeScratch = claudeScratchDirectory(),
        .volume = std::make_shared<StatvfsVolumeCapacity>(),
        .settings = std::make_shared<IniSettingsStore>(),
        .clock = std::make_shared<SystemClock>(),
        .measureAll = [](const std::vector<CleanupItem>& items,
                         FileTime now) { return Cleaner::measureAll(items, now); },
        .findDormantProjects = [](const std::vector<std::filesystem::path>& roots, FileTime now,
                                  int days) { return ProjectScanner::scan(roots, now, days); },
        .runningApplications = std::make_shared<ProcessRunningApplications>(),
        .listProcesses = [] { return runningProcessNames(); },
        .discoverToolCaches =
            [home] { return Cleaner::discoverToolCaches(home, discoveryTimeLimit); },
        .loginItem = std::make_shared<AutostartLoginItem>(),
        .folderChooser = std::make_shared<DialogFolderChooser>(),
        .notifications = {std::make_shared<DBusNotificationCenter>(),
                          std::make_shared<SyslogSystemLog>()},
        .cleanOptions = {},
        .pollInterval = std::chrono::milliseconds(2000),
    };
}
