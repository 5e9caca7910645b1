#include "AppModel.h"

#include "UtilityTask.h"

#include "core/SaturatingAdd.h"

#include <QCoro/QCoroFuture>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace {

const QString thresholdKey = QStringLiteral("thresholdGB");
const QString projectRootsKey = QStringLiteral("projectRoots");

template <typename T> bool assignIfChanged(T& field, T value) {
    if (field == value)
        return false;
    field = std::move(value);
    return true;
}

std::vector<std::filesystem::path> pathsFrom(const QStringList& texts) {
    std::vector<std::filesystem::path> paths;
    for (const auto& text : texts)
        paths.emplace_back(text.toStdString());
    return paths;
}

// The discovered folders of each item as items of their own, measured apart from the built-in
// folders.
std::vector<CleanupItem> discoveredOnly(const CustomLocations& custom) {
    std::vector<CleanupItem> items;
    for (const auto& [id, folders] : custom) {
        CleanupItem item;
        item.id = id;
        item.sizeRoots = folders;
        item.action = CleanupActions::EmptyDirectories{folders};
        items.push_back(std::move(item));
    }
    return items;
}

// Every item's size and the identity of its folders, taken before measuring. With a head
// start (the built-in folders' sizes by item) only the discovered folders are measured.
using MeasuredItems = std::map<std::string, std::pair<std::int64_t, Cleaner::MeasuredRoots>>;

MeasuredItems measuredCatalog(
    const std::vector<CleanupItem>& catalog, FileTime now,
    const std::function<std::vector<std::int64_t>(const std::vector<CleanupItem>&, FileTime)>&
        measureAll,
    const std::optional<std::map<std::string, std::int64_t>>& headStart,
    const CustomLocations& custom) {
    MeasuredItems measured;
    for (const auto& item : catalog)
        measured[item.id] = {0, Cleaner::measuredRoots(item)};
    const auto items = headStart ? discoveredOnly(custom) : catalog;
    const auto sizes = measureAll(items, now);
    for (std::size_t i = 0; i < items.size(); ++i)
        measured[items[i].id].first = sizes.at(i);
    if (headStart) {
        for (const auto& [id, size] : *headStart)
            measured[id].first = saturatingAdd(measured[id].first, size);
    }
    return measured;
}

// gigabytes × 10^9 as a signed 64-bit count, truncated toward zero; values outside the range
// (infinities included) are clamped instead of being undefined.
std::int64_t bytesFromGigabytes(double gigabytes) {
    const double bytes = gigabytes * 1e9;
    if (bytes >= 9.2233720368547758e18)
        return std::numeric_limits<std::int64_t>::max();
    if (bytes <= -9.2233720368547758e18)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(bytes);
}

} // namespace

AppModel::AppModel(Environment environment, QObject* parent)
    : QObject(parent), environment_(std::move(environment)) {
    launchAtLogin_ = environment_.loginItem->isEnabled();
    if (auto stored = environment_.settings->stringListValue(projectRootsKey))
        projectRoots_ = pathsFrom(*stored);
}

AppModel::~AppModel() = default;

std::optional<std::string> AppModel::blockMessage(const Row& row) const {
    for (const auto& app : row.item.blockingApps) {
        if (runningApps_.contains(app))
            return "Quit " + row.item.blockingAppName.value_or("the app") + " to sweep this.";
    }
    for (const auto& name : row.item.blockingProcesses) {
        if (runningProcesses_.contains(name))
            return "Wait for " + name + " to finish, then sweep this.";
    }
    return std::nullopt;
}

std::vector<AppModel::Row> AppModel::sweepTargets() const {
    std::vector<Row> targets;
    for (const auto& row : rows_) {
        if (row.isSelected && row.size >= 1 && !blockMessage(row))
            targets.push_back(row);
    }
    return targets;
}

std::int64_t AppModel::selectedBytes() const {
    std::int64_t total = 0;
    for (const auto& row : sweepTargets())
        total = saturatingAdd(total, row.size);
    return total;
}

std::int64_t AppModel::sweepableBytes() const {
    std::int64_t total = 0;
    for (const auto& row : rows_) {
        if (!blockMessage(row))
            total = saturatingAdd(total, row.size);
    }
    return total;
}

double AppModel::usedFraction() const {
    if (totalBytes_ < 1)
        return 0;
    const double used = 1.0 - double(freeBytes_) / double(totalBytes_);
    return std::clamp(used, 0.0, 1.0);
}

double AppModel::thresholdGB() const {
    const auto stored = environment_.settings->doubleValue(thresholdKey);
    // NaN is not a number: it falls back like any other unusable value.
    return stored && !std::isnan(*stored) ? *stored : defaultThresholdGB();
}

void AppModel::setThresholdGB(double gigabytes) {
    const auto stored = environment_.settings->doubleValue(thresholdKey);
    environment_.settings->setDouble(thresholdKey, gigabytes);
    if (stored != gigabytes)
        emit thresholdGBChanged();
}

std::int64_t AppModel::thresholdBytes() const {
    return bytesFromGigabytes(thresholdGB());
}

double AppModel::defaultThresholdGB(const VolumeCapacity& volume,
                                    const std::filesystem::path& home) {
    double total = 0;
    if (auto figures = volume.read(home); figures && figures->total)
        total = double(*figures->total);
    double x = total / 1e9 / 10 / 5;
    x = std::round(x) * 5; // std::round takes halves away from zero
    if (x <= 10)
        x = 10;
    if (x > 50)
        x = 50;
    return x;
}

double AppModel::defaultThresholdGB() const {
    return defaultThresholdGB(*environment_.volume, environment_.home);
}

void AppModel::refreshFreeSpace() {
    const auto figures = environment_.volume->read(environment_.home);
    if (!figures)
        return;
    if (figures->available && assignIfChanged(freeBytes_, qint64(*figures->available)))
        emit freeBytesChanged();
    if (figures->total && assignIfChanged(totalBytes_, qint64(*figures->total)))
        emit totalBytesChanged();
}

std::vector<CleanupItem> AppModel::catalogItems() const {
    return builtInCatalog(environment_.home, environment_.claudeScratch, customLocations_);
}

bool AppModel::isScanningOrSweeping() const {
    return std::holds_alternative<Scanning>(phase_) || std::holds_alternative<Sweeping>(phase_);
}

QCoro::Task<> AppModel::scan() {
    if (isScanningOrSweeping())
        co_return;
    setPhase(Scanning{});
    QPointer<AppModel> self(this);
    co_await rebuildRows();
    // A sweep that started meanwhile owns the phase: its `sweeping`, then its outcome, stand.
    if (self && std::holds_alternative<Scanning>(phase_))
        setPhase(Idle{});
}

QCoro::Task<> AppModel::rebuildRows() {
    const std::vector<CleanupItem> catalog = catalogItems();
    const FileTime now = environment_.clock->now();
    const std::uint64_t rebuild = ++rebuildsStarted_;
    QFuture<std::optional<MeasuredItems>> measuring = runAtUtilityPriority(
        &WorkerPools::measurement(),
        [catalog, now, measureAll = environment_.measureAll,
         headStart = std::exchange(headStart_, std::nullopt), custom = customLocations_] {
            return measuredCatalog(catalog, now, measureAll, headStart, custom);
        });
    QPointer<AppModel> self(this);
    const auto result = co_await measuring;
    if (!self)
        co_return;
    const MeasuredItems measured = result.value_or(MeasuredItems{});
    // A rebuild that started later has already shown the disk as it is after this one began
    // (after a sweep, say): these older sizes would bring back what is gone.
    if (rebuild < rebuildPublished_)
        co_return;
    rebuildPublished_ = rebuild;
    publishRows(catalog, measured);
}

// The project items are taken as they are now, with the sizes their scan found, so rows never
// list a project of a folder no longer searched.
void AppModel::publishRows(const std::vector<CleanupItem>& catalog,
                           const std::map<std::string, Measured>& measured) {
    std::map<std::string, const Row*> previous;
    for (const auto& row : rows_)
        previous.emplace(row.item.id, &row);
    std::vector<Row> rebuilt;
    rebuilt.reserve(catalog.size() + projectItems_.size());
    const auto add = [&](const CleanupItem& item, std::optional<Measured> found) {
        const auto before = previous.find(item.id);
        const Row* old = before != previous.end() ? before->second : nullptr;
        // A measurement that failed keeps the size (and the folders) measured before.
        if (!found)
            found = old ? Measured{old->size, old->measuredRoots} : Measured{};
        rebuilt.push_back(Row{item, found->first, old ? old->isSelected : item.selectedByDefault,
                              std::move(found->second)});
    };
    for (const auto& item : catalog) {
        const auto found = measured.find(item.id);
        add(item, found != measured.end() ? std::optional(found->second) : std::nullopt);
    }
    for (const auto& item : projectItems_) {
        const auto roots = projectMeasuredRoots_.find(item.id);
        add(item, Measured{item.cachedSize.value_or(0), roots != projectMeasuredRoots_.end()
                                                            ? roots->second
                                                            : Cleaner::MeasuredRoots{}});
    }
    setRows(std::move(rebuilt));
}

void AppModel::toggle(const std::string& id) {
    auto row =
        std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.item.id == id; });
    if (row == rows_.end())
        return;
    row->isSelected = !row->isSelected;
    emit rowsChanged();
}

void AppModel::setPhase(Phase phase) {
    if (assignIfChanged(phase_, std::move(phase)))
        emit phaseChanged();
}

void AppModel::setRows(std::vector<Row> rows) {
    if (assignIfChanged(rows_, std::move(rows)))
        emit rowsChanged();
}

void AppModel::setRunningApps(std::set<std::string> apps) {
    if (assignIfChanged(runningApps_, std::move(apps)))
        emit runningAppsChanged();
}

void AppModel::setRunningProcesses(std::set<std::string> names) {
    if (assignIfChanged(runningProcesses_, std::move(names)))
        emit runningProcessesChanged();
}

void AppModel::setCustomLocations(CustomLocations locations) {
    if (assignIfChanged(customLocations_, std::move(locations)))
        emit customLocationsChanged();
}
