// Start-up, the free-space poll loop, the low-space alert and the settings the model mirrors.
#include "AppModel.h"

#include "UtilityTask.h"

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroTimer>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

constexpr auto slowTickInterval = std::chrono::seconds(60);
constexpr auto alertInterval = std::chrono::seconds(43'200);
constexpr int deniedStatus = 1;
constexpr int notDeterminedStatus = 0;

std::map<std::string, std::int64_t> sizesById(const std::vector<CleanupItem>& items,
                                              const std::vector<std::int64_t>& sizes) {
    std::map<std::string, std::int64_t> byId;
    for (std::size_t i = 0; i < items.size() && i < sizes.size(); ++i)
        byId[items[i].id] = sizes[i];
    return byId;
}

QString onboardingKey() {
    return QStringLiteral("onboardingCompleted");
}

} // namespace

bool AppModel::onboardingCompleted() const {
    return environment_.settings->boolValue(onboardingKey()).value_or(false);
}

void AppModel::start() {
    if (started_)
        return;
    started_ = true;
    if (onboardingCompleted())
        askPermissionAtStart();
    startUpWork();
    pollLoop();
}

QCoro::Task<> AppModel::askPermissionAtStart() {
    QPointer<AppModel> self(this);
    const int status = co_await Notifier::requestAuthorization(environment_.notifications);
    if (self)
        setNotificationsDenied(status == deniedStatus);
}

QCoro::Task<> AppModel::startUpWork() {
    QPointer<AppModel> self(this);
    // The first scan waits for the discovery, so the first rows already show moved caches;
    // meanwhile the built-in folders are measured, and the scan adds only what was discovered.
    discovering_ = true;
    QFuture<std::optional<CustomLocations>> discovery =
        runAtUtilityPriority(&WorkerPools::processes(),
                             [discover = environment_.discoverToolCaches] { return discover(); });
    QFuture<std::optional<std::vector<std::int64_t>>> builtInSizes = runAtUtilityPriority(
        &WorkerPools::measurement(),
        [items = catalogItems(), now = environment_.clock->now(),
         measureAll = environment_.measureAll] { return measureAll(items, now); });
    auto locations = co_await discovery;
    auto sizes = co_await builtInSizes;
    if (!self)
        co_return;
    discovering_ = false;
    if (locations)
        setCustomLocations(std::move(*locations));
    if (sizes)
        headStart_ = sizesById(catalogItems(), *sizes);
    co_await refresh();
    if (!self)
        co_return;
    headStart_.reset(); // only for the scan right after the discovery
    co_await scanProjects();
}

QCoro::Task<> AppModel::refresh() {
    QPointer<AppModel> self(this);
    refreshFreeSpace();
    co_await refreshRunning();
    if (self && !isScanningOrSweeping() && !discovering_)
        co_await scan();
}

QCoro::Task<> AppModel::pollLoop() {
    // Holds the model only weakly: when it goes, the loop ends at its next wake-up.
    QPointer<AppModel> self(this);
    while (self) {
        co_await pollPass();
        if (!self)
            co_return;
        QTimer pause;
        pause.setSingleShot(true);
        // The model going ends the pause at once: the loop ends now, not at its next pass.
        connect(this, &QObject::destroyed, &pause, [timer = &pause] { timer->start(0); });
        pause.start(environment_.pollInterval);
        co_await pause;
    }
}

QCoro::Task<> AppModel::pollPass() {
    refreshFreeSpace();
    const FileTime now = environment_.clock->now();
    if (lastSlowTick_ && now - *lastSlowTick_ < slowTickInterval)
        co_return;
    lastSlowTick_ = now;
    co_await slowTick();
}

QCoro::Task<> AppModel::slowTick() {
    QPointer<AppModel> self(this);
    co_await refreshRunning();
    if (!self)
        co_return;
    int status = co_await Notifier::authorizationStatus(environment_.notifications);
    if (!self)
        co_return;
    // Before onboarding has finished the user is not asked.
    if (status == notDeterminedStatus && onboardingCompleted()) {
        status = co_await Notifier::requestAuthorization(environment_.notifications);
        if (!self)
            co_return;
    }
    setNotificationsDenied(status == deniedStatus);
    co_await alertIfLow();
}

QCoro::Task<> AppModel::alertIfLow() {
    if (freeBytes_ < 1 || freeBytes_ >= thresholdBytes()) {
        lastAlert_.reset(); // space recovered, or not read yet: the next drop alerts at once
        co_return;
    }
    if (lastAlert_ && environment_.clock->now() - *lastAlert_ < alertInterval)
        co_return;
    QPointer<AppModel> self(this);
    if (!isScanningOrSweeping())
        co_await scan();
    if (!self)
        co_return;
    // Set before posting: a failed post is not retried for twelve hours.
    lastAlert_ = environment_.clock->now();
    Notifier::postLowSpace(environment_.notifications, freeBytes_, sweepableBytes());
}

void AppModel::setNotificationsDenied(bool denied) {
    if (notificationsDenied_ == denied)
        return;
    notificationsDenied_ = denied;
    emit notificationsDeniedChanged();
}

void AppModel::setLaunchAtLogin(bool on) {
    environment_.loginItem->setEnabled(on);
    // The real state, read again: a refused change leaves the switch where it was.
    const bool enabled = environment_.loginItem->isEnabled();
    if (launchAtLogin_ == enabled)
        return;
    launchAtLogin_ = enabled;
    emit launchAtLoginChanged();
}

QCoro::Task<> AppModel::addProjectFolders() {
    QPointer<AppModel> self(this);
    std::optional<QString> startFolder;
    const auto developing = environment_.home / "Developing";
    std::error_code ignored;
    if (std::filesystem::exists(developing, ignored))
        startFolder = QString::fromStdString(developing.string());
    const auto chosen = co_await environment_.folderChooser->chooseFolders(startFolder);
    if (!self || !chosen)
        co_return;
    // Read after the chooser closed: the list may have changed meanwhile.
    auto roots = projectRoots_;
    for (const auto& folder : *chosen) {
        const std::string path = folder.toStdString();
        // Plain string equality: two spellings of one folder stay two roots.
        const bool known = std::any_of(roots.begin(), roots.end(),
                                       [&](const auto& root) { return root.native() == path; });
        if (!known)
            roots.emplace_back(path);
    }
    setProjectRoots(std::move(roots));
    co_await scanProjects();
}
