#include "AppModel.h"

#include "UtilityTask.h"

#include "core/CleanerMeasurement.h"
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
    measurementPool_.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
    processPool_.setMaxThreadCount(2);
    launchAtLogin_ = environment_.loginItem->isEnabled();
    if (auto stored = environment_.settings->stringListValue(projectRootsKey))
        projectRoots_ = pathsFrom(*stored);
}

AppModel::~AppModel() {
    measurementPool_.waitForDone();
}

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
    auto items = builtInCatalog(environment_.home, environment_.claudeScratch, customLocations_);
    items.insert(items.end(), projectItems_.begin(), projectItems_.end());
    return items;
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
    if (self)
        setPhase(Idle{});
}

QCoro::Task<> AppModel::rebuildRows() {
    const std::vector<CleanupItem> items = catalogItems();
    const FileTime now = environment_.clock->now();
    using Measured = std::pair<std::int64_t, Cleaner::MeasuredRoots>;
    std::vector<QFuture<Measured>> measurements;
    measurements.reserve(items.size());
    for (const auto& item : items) {
        measurements.push_back(runAtUtilityPriority(&measurementPool_, [item, now] {
            auto roots = Cleaner::measuredRoots(item);
            return Measured{item.cachedSize ? *item.cachedSize : Cleaner::measure(item, now),
                            std::move(roots)};
        }));
    }
    QPointer<AppModel> self(this);
    std::map<std::string, Measured> sizes;
    for (std::size_t i = 0; i < items.size(); ++i) {
        Measured measured = co_await measurements[i];
        if (!self)
            co_return;
        sizes[items[i].id] = std::move(measured);
    }
    std::map<std::string, bool> previous;
    for (const auto& row : rows_)
        previous.emplace(row.item.id, row.isSelected);
    std::vector<Row> rebuilt;
    rebuilt.reserve(items.size());
    for (const auto& item : items) {
        const auto selection = previous.find(item.id);
        auto& [size, roots] = sizes[item.id];
        rebuilt.push_back(Row{
            item, size, selection != previous.end() ? selection->second : item.selectedByDefault,
            std::move(roots)});
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
