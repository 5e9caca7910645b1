// The sweep workflow of the model: which tools run now, and cleaning the selected rows one at
// a time behind the whitelist.
#include "AppModel.h"

#include "UtilityTask.h"

#include "core/SaturatingAdd.h"
#include "core/StandardPath.h"

#include <QCoro/QCoroFuture>
#include <QPointer>

#include <algorithm>
#include <exception>

namespace {

// What cleaning one item gave: the entries left alone, or the error's text for the user.
struct CleanOutcome {
    int skipped = 0;
    std::optional<std::string> error;
};

CleanOutcome cleanOffTheMainThread(const CleanupItem& item, const Cleaner::AllowedRoots& allowed,
                                   const Cleaner::MeasuredRoots& measured,
                                   const Cleaner::CleanOptions& options) {
    try {
        return CleanOutcome{Cleaner::clean(item, allowed, measured, options), std::nullopt};
    } catch (const std::exception& error) {
        return CleanOutcome{0, std::string(error.what())};
    }
}

// How deep the folder that holds the item's first root lies.
std::size_t rootDepth(const CleanupItem& item) {
    const auto roots = actionRoots(item.action);
    if (roots.empty())
        return 0;
    const auto folder = roots.front().parent_path();
    return static_cast<std::size_t>(std::distance(folder.begin(), folder.end()));
}

// Projects before caches, and an outer project before the ones inside it: removing a folder
// changes the date of the folder that held it, so a project checked after a removal inside it
// would look freshly touched and be spared.
std::vector<AppModel::Row> inSweepOrder(std::vector<AppModel::Row> rows) {
    const auto key = [](const AppModel::Row& row) {
        const bool project = row.item.category == Category::projects;
        return std::pair(project ? 0 : 1, project ? rootDepth(row.item) : 0);
    };
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const auto& a, const auto& b) { return key(a) < key(b); });
    return rows;
}

} // namespace

QCoro::Task<> AppModel::refreshRunning() {
    QPointer<AppModel> self(this);
    QFuture<ProcessNames> processes =
        runAtUtilityPriority(&processPool_, [list = environment_.listProcesses] { return list(); });
    auto names = co_await processes;
    if (!self)
        co_return;
    setRunningApps(environment_.runningApplications->bundleIdentifiers(names));
    setRunningProcesses(std::move(names));
}

Cleaner::AllowedRoots AppModel::sweepWhitelist() const {
    auto allowed =
        Cleaner::allowedRoots(environment_.home, environment_.claudeScratch, customLocations_);
    // Project folders are the only places outside the catalog the engine may touch.
    for (const auto& item : projectItems_) {
        for (const auto& root : actionRoots(item.action))
            allowed.insert(standardized(root).string());
    }
    return allowed;
}

QCoro::Task<> AppModel::sweep() {
    // Refused as soon as one sweep is asked for, not only once it runs: two sweeps must never
    // interleave, even while the first still lists the running tools.
    if (std::holds_alternative<Sweeping>(phase_) || sweepRequested_)
        co_return;
    sweepRequested_ = true;
    QPointer<AppModel> self(this);
    co_await refreshRunning();
    if (!self)
        co_return;
    const std::vector<Row> targets = inSweepOrder(sweepTargets());
    if (targets.empty()) {
        sweepRequested_ = false;
        co_return;
    }
    setPhase(Sweeping{});
    const Cleaner::AllowedRoots allowed = sweepWhitelist();

    std::int64_t cleared = 0;
    int skipped = 0;
    std::optional<std::string> failure;
    for (const auto& row : targets) {
        QFuture<CleanOutcome> cleaning = runAtUtilityPriority(
            &measurementPool_, [item = row.item, allowed, measured = row.measuredRoots,
                                options = environment_.cleanOptions] {
                return cleanOffTheMainThread(item, allowed, measured, options);
            });
        const CleanOutcome outcome = co_await cleaning;
        if (!self)
            co_return;
        if (outcome.error) {
            failure = row.item.title + ": " + *outcome.error;
            break;
        }
        skipped += outcome.skipped;
        cleared = saturatingAdd(cleared, row.size);
    }

    const bool sweptProjects = std::any_of(targets.begin(), targets.end(), [](const Row& row) {
        return row.item.category == Category::projects;
    });
    if (sweptProjects) {
        // Rescanned even while a project scan runs, so removed folders leave the list.
        setIsScanningProjects(false);
        co_await scanProjects();
    } else {
        co_await rebuildRows();
    }
    if (!self)
        co_return;
    refreshFreeSpace();
    sweepRequested_ = false;
    if (failure)
        setPhase(Failed{*failure});
    else
        setPhase(Done{cleared, skipped});
}

void AppModel::dismissOutcome() {
    if (std::holds_alternative<Done>(phase_) || std::holds_alternative<Failed>(phase_))
        setPhase(Idle{});
}
