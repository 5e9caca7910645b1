// The dormant-project workflow of the model: scanning the chosen project folders and turning
// each dormant project into a cleanup item.
#include "AppModel.h"

#include "UtilityTask.h"

#include "core/StandardPath.h"

#include <QCoro/QCoroFuture>
#include <QPointer>

#include <algorithm>
#include <map>

namespace fs = std::filesystem;

namespace {

const QString projectRootsKey = QStringLiteral("projectRoots");

// The folder as the user reads it: the home folder, as a whole leading component, becomes "~".
std::string abbreviatedWithTilde(const fs::path& folder, const fs::path& home) {
    const std::string path = folder.string();
    const std::string homePath = standardized(home).string();
    if (home.empty() || homePath == "/")
        return path;
    if (path == homePath)
        return "~";
    if (isInside(path, homePath))
        return "~" + path.substr(homePath.size());
    return path;
}

std::string joinedNames(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// What one project scan found: the items, and the folders of each as the scan measured them.
struct FoundProjects {
    std::vector<CleanupItem> items;
    std::map<std::string, Cleaner::MeasuredRoots> measuredRoots;
};

QStringList texts(const std::vector<fs::path>& paths) {
    QStringList list;
    for (const auto& path : paths)
        list.append(QString::fromStdString(path.string()));
    return list;
}

} // namespace

CleanupItem AppModel::projectItem(const ProjectScanner::DormantProject& project,
                                  const fs::path& home) {
    CleanupItem item;
    item.id = "project:" + project.root.string();
    item.category = Category::projects;
    item.title = project.root.filename().string();
    item.detail = joinedNames(project.artifactNames()) + " in " +
                  abbreviatedWithTilde(project.root.parent_path(), home) + ". Untouched for " +
                  std::to_string(dormantDays) + "+ days.";
    item.symbol = "folder";
    item.risk = Risk::reinstalls;
    item.sizeRoots = project.artifacts;
    item.action = CleanupActions::RemoveDirectories{project.artifacts};
    item.selectedByDefault = false;
    item.cachedSize = project.size;
    return item;
}

QCoro::Task<> AppModel::scanProjects() {
    if (isScanningProjects_) {
        projectScanWanted_ = true;
        co_return;
    }
    co_await runProjectScans();
}

// Scans until the roots it scanned are still the configured ones and nobody asked again
// meanwhile; a scan started later (the sweep's) takes over, and this one publishes nothing.
QCoro::Task<> AppModel::runProjectScans() {
    QPointer<AppModel> self(this);
    const std::uint64_t scan = ++projectScansStarted_;
    bool superseded = false;
    for (;;) {
        projectScanWanted_ = false;
        const std::vector<fs::path> roots = projectRoots_;
        if (roots.empty()) {
            setProjectItems({});
            projectItemsRoots_.clear();
            projectMeasuredRoots_.clear();
            break;
        }
        ++projectScansRunning_;
        setIsScanningProjects(true);
        QFuture<std::optional<FoundProjects>> scanning =
            runAtUtilityPriority(&WorkerPools::projects(), [roots, now = environment_.clock->now(),
                                                            find = environment_.findDormantProjects,
                                                            home = environment_.home] {
                FoundProjects found;
                for (const auto& project : find(roots, now, dormantDays)) {
                    found.items.push_back(projectItem(project, home));
                    found.measuredRoots[found.items.back().id] =
                        Cleaner::measuredRoots(found.items.back());
                }
                return found;
            });
        auto projects = co_await scanning;
        if (!self)
            co_return;
        --projectScansRunning_;
        superseded = scan != projectScansStarted_;
        if (superseded)
            break;
        if (projectScanWanted_ || projectRoots_ != roots)
            continue;
        // A scan that failed keeps the projects found before.
        if (projects) {
            setProjectItems(std::move(projects->items));
            projectMeasuredRoots_ = std::move(projects->measuredRoots);
            projectItemsRoots_ = roots;
        }
        break;
    }
    setIsScanningProjects(projectScansRunning_ > 0);
    if (!superseded)
        co_await rebuildRows();
}

void AppModel::setProjectRoots(std::vector<fs::path> roots) {
    environment_.settings->setStringList(projectRootsKey, texts(roots));
    if (projectRoots_ == roots)
        return;
    projectRoots_ = std::move(roots);
    emit projectRootsChanged();
    const bool stillSearched =
        std::all_of(projectItemsRoots_.begin(), projectItemsRoots_.end(), [this](const auto& root) {
            return std::find(projectRoots_.begin(), projectRoots_.end(), root) !=
                   projectRoots_.end();
        });
    if (!stillSearched)
        dropProjects();
}

// Projects found under a folder that is no longer searched go at once, with their rows, so
// they can be neither shown nor swept; the rescan the caller starts brings back the others.
void AppModel::dropProjects() {
    setProjectItems({});
    projectItemsRoots_.clear();
    projectMeasuredRoots_.clear();
    std::vector<Row> rows = rows_;
    std::erase_if(rows, [](const Row& row) { return row.item.category == Category::projects; });
    setRows(std::move(rows));
}

void AppModel::setProjectItems(std::vector<CleanupItem> items) {
    if (projectItems_ == items)
        return;
    projectItems_ = std::move(items);
    emit projectItemsChanged();
}

void AppModel::setIsScanningProjects(bool scanning) {
    if (isScanningProjects_ == scanning)
        return;
    isScanningProjects_ = scanning;
    emit isScanningProjectsChanged();
}
