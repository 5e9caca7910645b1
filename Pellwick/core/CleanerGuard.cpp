#include "core/CleanerGuard.h"

#include "core/ChildProcess.h"
#include "core/CleanError.h"
#include "core/CleanerMeasurement.h"
#include "core/ListingError.h"
#include "core/StandardPath.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

namespace Cleaner {
namespace {

// A root the guard accepted, opened once: everything below it is reached through `fd`, so
// replacing the root, or a folder above it, by a link afterwards cannot redirect the deletion.
// `error` is set instead of `fd` when the folder could not be opened for listing.
struct AnchoredRoot {
    std::filesystem::path path;
    UniqueFd fd;
    int error = 0;
};

bool isSymbolicLink(const std::filesystem::path& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

std::optional<AnchoredRoot> anchoredRoot(const std::filesystem::path& root,
                                         const AllowedRoots& allowedRoots) {
    auto path = guardedRoot(root, allowedRoots);
    if (!path)
        return std::nullopt;
    UniqueFd fd(TreeWalker::openFolder(AT_FDCWD, path->c_str()));
    if (fd.valid())
        return AnchoredRoot{*path, std::move(fd), 0};
    const int error = errno;
    if (error == ENOENT)
        return std::nullopt;
    if ((error == ENOTDIR || error == ELOOP) && isSymbolicLink(*path))
        throw CleanError::notAllowed(path->string()); // became a link since the check
    return AnchoredRoot{*path, {}, error};
}

bool isMeasuredFolder(int fd, const std::filesystem::path& root, const MeasuredRoots& measured) {
    const auto found = measured.find(root.string());
    struct stat status {};
    return found != measured.end() && fstat(fd, &status) == 0 &&
           identityOf(status) == found->second;
}

FileTime currentTime(const CleanOptions& options) {
    return options.now.value_or(std::chrono::system_clock::now());
}

int emptyDirectories(const CleanupActions::EmptyDirectories& action,
                     const AllowedRoots& allowedRoots, const MeasuredRoots& measured) {
    int leftAlone = 0;
    for (const auto& root : action.roots) {
        auto anchored = anchoredRoot(root, allowedRoots);
        if (!anchored)
            continue;
        if (!anchored->fd.valid())
            throw ListingError(anchored->path, anchored->error);
        if (!isMeasuredFolder(anchored->fd.get(), anchored->path, measured)) {
            ++leftAlone;
            continue;
        }
        leftAlone += TreeRemover::removeEntries(anchored->fd.get());
    }
    return leftAlone;
}

// Other users may be able to write to such a folder (the scratch folder is in /tmp), so only a
// folder the user owns is cleaned, and only the entries the user owns inside it.
int emptyOlderThan(const CleanupActions::EmptyOlderThan& action, const AllowedRoots& allowedRoots,
                   const MeasuredRoots& measured, const CleanOptions& options) {
    const uid_t user = geteuid();
    int leftAlone = 0;
    for (const auto& root : action.roots) {
        const FileTime cutoff = cutoffBefore(currentTime(options), action.days);
        auto anchored = anchoredRoot(root, allowedRoots);
        if (!anchored || !anchored->fd.valid())
            continue;
        if (!isMeasuredFolder(anchored->fd.get(), anchored->path, measured)) {
            ++leftAlone;
            continue;
        }
        const auto names = untouchedNamesOwnedBy(anchored->fd.get(), cutoff, user);
        if (names.empty())
            continue;
        TreeRemover::Selection selection;
        selection.names.emplace(names.begin(), names.end());
        selection.owner = user;
        leftAlone += TreeRemover::removeEntries(anchored->fd.get(), selection);
    }
    return leftAlone;
}

void requireRemovableArtifact(const std::filesystem::path& root, const AllowedRoots& allowedRoots) {
    const std::string path = root.string();
    if (hasNulByte(root) || !allowedRoots.contains(path) ||
        !ProjectScanner::artifactNames().contains(root.filename().string()) || isSymbolicLink(root))
        throw CleanError::notAllowed(path);
}

// A generated folder opened for removal: its project folder, and the folder itself inside it.
struct OpenedArtifact {
    UniqueFd project;
    UniqueFd folder;
    std::string name;
};

enum class Reach { nothingThere, leftAlone, opened };

// Opens the project by its path once and the artefact inside it; the artefact must be the
// folder measured, still an artefact, and its project still untouched.
Reach openArtifact(const std::filesystem::path& root, const MeasuredRoots& measured, FileTime now,
                   const CleanOptions& options, OpenedArtifact& opened) {
    opened.project.reset(open(root.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!opened.project.valid())
        return errno == ENOENT ? Reach::nothingThere : Reach::leftAlone;
    opened.name = root.filename().string();
    opened.folder.reset(TreeWalker::openFolder(opened.project.get(), opened.name.c_str()));
    if (!opened.folder.valid())
        return errno == ENOENT ? Reach::nothingThere : Reach::leftAlone;
    const bool removable =
        isMeasuredFolder(opened.folder.get(), root, measured) &&
        ProjectScanner::isArtifactAt(opened.project.get(), opened.name, options.git) &&
        ProjectScanner::isDormantAt(opened.project.get(), now, dormantProjectDays);
    return removable ? Reach::opened : Reach::leftAlone;
}

// Every root is checked before any is deleted; then each artefact is re-checked, because the
// project may have been touched since it was found.
int removeDirectories(const CleanupActions::RemoveDirectories& action,
                      const AllowedRoots& allowedRoots, const MeasuredRoots& measured,
                      const CleanOptions& options) {
    std::vector<std::filesystem::path> roots;
    for (const auto& root : action.roots)
        roots.push_back(standardized(root));
    for (const auto& root : roots)
        requireRemovableArtifact(root, allowedRoots);

    const FileTime now = currentTime(options);
    int leftAlone = 0;
    std::vector<OpenedArtifact> toDelete;
    for (const auto& root : roots) {
        OpenedArtifact opened;
        const Reach reach = openArtifact(root, measured, now, options, opened);
        if (reach == Reach::opened)
            toDelete.push_back(std::move(opened));
        else if (reach == Reach::leftAlone)
            ++leftAlone;
    }
    for (const auto& artifact : toDelete)
        if (!TreeRemover::removeOpenedFolder(artifact.project.get(), artifact.name.c_str(),
                                             artifact.folder.get()))
            ++leftAlone;
    return leftAlone;
}

int simctl(const CleanupActions::Simctl& action, const CleanOptions& options) {
    for (const auto& arguments : action.commands)
        runSimctl(arguments, options.simctlTool);
    return 0;
}

std::string commandLine(const std::vector<std::string>& arguments) {
    std::string line = "simctl";
    for (const auto& argument : arguments)
        line += " " + argument;
    return line;
}

} // namespace

AllowedRoots allowedRoots(const std::filesystem::path& home,
                          const std::filesystem::path& claudeScratch,
                          const CustomLocations& customLocations) {
    AllowedRoots allowed;
    for (const auto& item : builtInCatalog(home, claudeScratch, customLocations))
        for (const auto& root : actionRoots(item.action))
            allowed.insert(standardized(root).string());
    return allowed;
}

MeasuredRoots measuredRoots(const CleanupItem& item) {
    MeasuredRoots identities;
    for (const auto& root : actionRoots(item.action)) {
        const std::filesystem::path path = standardized(root);
        struct stat status {};
        if (!hasNulByte(path) && lstat(path.c_str(), &status) == 0 && !S_ISLNK(status.st_mode))
            identities.emplace(path.string(), identityOf(status));
    }
    return identities;
}

std::optional<std::filesystem::path> guardedRoot(const std::filesystem::path& root,
                                                 const AllowedRoots& allowedRoots) {
    std::filesystem::path path = standardized(root);
    if (hasNulByte(path) || !allowedRoots.contains(path.string()))
        throw CleanError::notAllowed(path.string());
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0)
        return std::nullopt; // a failed read is no link, and nothing to clean
    if (S_ISLNK(status.st_mode))
        throw CleanError::notAllowed(path.string());
    return path;
}

int clean(const CleanupItem& item, const AllowedRoots& allowedRoots, const MeasuredRoots& measured,
          const CleanOptions& options) {
    if (const auto* action = std::get_if<CleanupActions::EmptyDirectories>(&item.action))
        return emptyDirectories(*action, allowedRoots, measured);
    if (const auto* action = std::get_if<CleanupActions::EmptyOlderThan>(&item.action))
        return emptyOlderThan(*action, allowedRoots, measured, options);
    if (const auto* action = std::get_if<CleanupActions::RemoveDirectories>(&item.action))
        return removeDirectories(*action, allowedRoots, measured, options);
    return simctl(std::get<CleanupActions::Simctl>(item.action), options);
}

void runSimctl(const std::vector<std::string>& arguments, const std::filesystem::path& tool) {
    ChildProcess::Options options;
    options.program = tool;
    options.arguments = {"simctl"};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.timeout = simctlTimeLimit;
    const auto result = ChildProcess::run(options);
    if (!result.started)
        throw std::system_error(result.startError, std::generic_category(),
                                "Couldn't start " + tool.string());
    if (result.timedOut || result.exitStatus != 0)
        throw CleanError::commandFailed(commandLine(arguments));
}

} // namespace Cleaner
