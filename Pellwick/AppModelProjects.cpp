// The dormant-project workflow of the model: scanning the chosen project folders and turning
// each dormant project into a cleanup item.
#include "AppModel.h"

#include "UtilityTask.h"

#include "core/StandardPath.h"

#include <QCoro/QCoroFuture>
#include <QPointer>

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
    if (isScanningProjects_)
        co_return;
    QPointer<AppModel> self(this);
    if (projectRoots_.empty()) {
        setProjectItems({});
        co_await rebuildRows();
        co_return;
    }
    setIsScanningProjects(true);
    QFuture<std::vector<ProjectScanner::DormantProject>> scanning = runAtUtilityPriority(
        QThreadPool::globalInstance(),
        [roots = projectRoots_, now = environment_.clock->now(), git = environment_.git] {
            return ProjectScanner::scan(roots, now, dormantDays, git);
        });
    const auto projects = co_await scanning;
    if (!self)
        co_return;
    std::vector<CleanupItem> items;
    items.reserve(projects.size());
    for (const auto& project : projects)
        items.push_back(projectItem(project, environment_.home));
    setProjectItems(std::move(items));
    setIsScanningProjects(false);
    co_await rebuildRows();
}

void AppModel::setProjectRoots(std::vector<fs::path> roots) {
    environment_.settings->setStringList(projectRootsKey, texts(roots));
    if (projectRoots_ == roots)
        return;
    projectRoots_ = std::move(roots);
    emit projectRootsChanged();
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
