#pragma once

#include "Clock.h"
#include "Notifier.h"
#include "core/BuiltInCatalog.h"
#include "core/CleanerGuard.h"
#include "core/CleanupItem.h"
#include "core/ProcessRunner.h"
#include "core/ProjectScanner.h"
#include "platform/FolderChooser.h"
#include "platform/LoginItem.h"
#include "platform/RunningApplications.h"
#include "platform/SettingsStore.h"
#include "platform/VolumeCapacity.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QThreadPool>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

// The one observable state of the program and its workflows. Lives on the main thread; every
// property notifies only when its value really changed.
class AppModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(qint64 freeBytes READ freeBytes NOTIFY freeBytesChanged)
    Q_PROPERTY(qint64 totalBytes READ totalBytes NOTIFY totalBytesChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(bool notificationsDenied READ notificationsDenied NOTIFY notificationsDeniedChanged)
    Q_PROPERTY(bool isScanningProjects READ isScanningProjects NOTIFY isScanningProjectsChanged)

public:
    struct Row {
        CleanupItem item;
        std::int64_t size = 0;
        bool isSelected = false;
        // Which folders were measured: a sweep deletes only those, not whatever the same paths
        // lead to by then.
        Cleaner::MeasuredRoots measuredRoots = {};
        bool operator==(const Row&) const = default;
    };

    struct Idle {
        bool operator==(const Idle&) const = default;
    };
    struct Scanning {
        bool operator==(const Scanning&) const = default;
    };
    struct Sweeping {
        bool operator==(const Sweeping&) const = default;
    };
    struct Done {
        std::int64_t cleared = 0;
        int skippedItems = 0;
        bool operator==(const Done&) const = default;
    };
    struct Failed {
        std::string message;
        bool operator==(const Failed&) const = default;
    };
    using Phase = std::variant<Idle, Scanning, Sweeping, Done, Failed>;

    // What varies between a user's desktop and a test.
    struct Environment {
        std::filesystem::path home;
        std::filesystem::path claudeScratch;
        std::shared_ptr<const VolumeCapacity> volume;
        std::shared_ptr<SettingsStore> settings;
        std::shared_ptr<const Clock> clock;
        std::filesystem::path git = ProjectScanner::defaultGitPath;
        std::shared_ptr<const RunningApplications> runningApplications;
        // Blocking: the names of the running processes (the process lister).
        std::function<ProcessNames()> listProcesses;
        // Blocking: moved tool caches, asked of the user's login shell within its time limit.
        std::function<CustomLocations()> discoverToolCaches;
        std::shared_ptr<LoginItem> loginItem;
        std::shared_ptr<FolderChooser> folderChooser;
        Notifier::Context notifications;
        Cleaner::CleanOptions cleanOptions;
        std::chrono::milliseconds pollInterval{2000};
    };

    // Days without any change after which a project's generated folders are offered.
    static constexpr int dormantDays = 60;

    explicit AppModel(Environment environment, QObject* parent = nullptr);
    ~AppModel() override;

    [[nodiscard]] qint64 freeBytes() const { return freeBytes_; }
    [[nodiscard]] qint64 totalBytes() const { return totalBytes_; }
    [[nodiscard]] const std::vector<Row>& rows() const { return rows_; }
    [[nodiscard]] const Phase& phase() const { return phase_; }
    [[nodiscard]] const std::set<std::string>& runningApps() const { return runningApps_; }
    [[nodiscard]] const std::set<std::string>& runningProcesses() const {
        return runningProcesses_;
    }
    [[nodiscard]] bool launchAtLogin() const { return launchAtLogin_; }
    [[nodiscard]] bool notificationsDenied() const { return notificationsDenied_; }
    [[nodiscard]] const CustomLocations& customLocations() const { return customLocations_; }
    [[nodiscard]] const std::vector<std::filesystem::path>& projectRoots() const {
        return projectRoots_;
    }
    [[nodiscard]] bool isScanningProjects() const { return isScanningProjects_; }
    // Where the welcome window sends its permission request.
    [[nodiscard]] const Notifier::Context& notifications() const {
        return environment_.notifications;
    }
    [[nodiscard]] const std::vector<CleanupItem>& projectItems() const { return projectItems_; }

    [[nodiscard]] std::optional<std::string> blockMessage(const Row& row) const;
    [[nodiscard]] std::vector<Row> sweepTargets() const;
    [[nodiscard]] std::int64_t selectedBytes() const;
    [[nodiscard]] std::int64_t sweepableBytes() const;
    [[nodiscard]] double usedFraction() const;

    // The low-space threshold: "thresholdGB" (or the default) × 10^9, clamped to 64 bits.
    [[nodiscard]] std::int64_t thresholdBytes() const;
    // A tenth of the volume in gigabytes, rounded to a multiple of 5, kept within 10…50.
    [[nodiscard]] static double defaultThresholdGB(const VolumeCapacity& volume,
                                                   const std::filesystem::path& home);
    [[nodiscard]] double defaultThresholdGB() const;

    // Starts the start-up work and the poll loop, once per model.
    void start();
    QCoro::Task<> refresh();
    // One pass of the poll loop: free space, and the slow tick when a minute has passed.
    QCoro::Task<> pollPass();
    QCoro::Task<> slowTick();
    [[nodiscard]] std::optional<FileTime> lastAlert() const { return lastAlert_; }

    QCoro::Task<> refreshRunning();
    QCoro::Task<> sweep();
    // The panel's "Done" and "OK": a finished sweep's outcome goes back to idle.
    void dismissOutcome();

    QCoro::Task<> addProjectFolders();
    void setLaunchAtLogin(bool on);
    void setNotificationsDenied(bool denied);

    // "thresholdGB", or the volume's default while the key is absent.
    [[nodiscard]] double thresholdGB() const;
    // Written only when the user moves the setting, so the default keeps following the volume.
    void setThresholdGB(double gigabytes);

    void refreshFreeSpace();
    QCoro::Task<> scan();
    QCoro::Task<> rebuildRows();
    void toggle(const std::string& id);

    QCoro::Task<> scanProjects();
    void setProjectRoots(std::vector<std::filesystem::path> roots);
    [[nodiscard]] static CleanupItem projectItem(const ProjectScanner::DormantProject& project,
                                                 const std::filesystem::path& home);

signals:
    void freeBytesChanged();
    void totalBytesChanged();
    void rowsChanged();
    void phaseChanged();
    void runningAppsChanged();
    void runningProcessesChanged();
    void launchAtLoginChanged();
    void notificationsDeniedChanged();
    void customLocationsChanged();
    void projectRootsChanged();
    void isScanningProjectsChanged();
    void projectItemsChanged();
    void thresholdGBChanged();

protected:
    void setPhase(Phase phase);
    void setRows(std::vector<Row> rows);
    void setRunningApps(std::set<std::string> apps);
    void setRunningProcesses(std::set<std::string> names);
    void setCustomLocations(CustomLocations locations);

    [[nodiscard]] const Environment& environment() const { return environment_; }
    [[nodiscard]] std::vector<CleanupItem> catalogItems() const;

private:
    void setProjectItems(std::vector<CleanupItem> items);
    void setIsScanningProjects(bool scanning);
    [[nodiscard]] bool isScanningOrSweeping() const;
    [[nodiscard]] bool onboardingCompleted() const;
    [[nodiscard]] Cleaner::AllowedRoots sweepWhitelist() const;
    QCoro::Task<> askPermissionAtStart();
    QCoro::Task<> startUpWork();
    QCoro::Task<> pollLoop();
    QCoro::Task<> alertIfLow();

    Environment environment_;
    QThreadPool measurementPool_;
    // Child processes that may block for seconds (the login shell) never hold up measuring.
    QThreadPool processPool_;
    bool started_ = false;
    bool sweepRequested_ = false;
    std::optional<FileTime> lastSlowTick_;
    std::optional<FileTime> lastAlert_;

    qint64 freeBytes_ = 0;
    qint64 totalBytes_ = 1;
    std::vector<Row> rows_;
    Phase phase_ = Idle{};
    std::set<std::string> runningApps_;
    std::set<std::string> runningProcesses_;
    bool launchAtLogin_ = false;
    bool notificationsDenied_ = false;
    CustomLocations customLocations_;
    std::vector<std::filesystem::path> projectRoots_;
    bool isScanningProjects_ = false;
    std::vector<CleanupItem> projectItems_;
};
