#include "core/CleanerGuard.h"

#include "core/CleanError.h"
#include "core/CleanerMeasurement.h"
#include "core/ListingError.h"
#include "core/StandardPath.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

namespace Cleaner {
namespace {

// A root the guard accepted, opened once: everything below it is reached through `fd`, so
// replacing the root by a link afterwards cannot redirect the deletion. `error` is set
// instead of `fd` when the folder could not be opened for listing.
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

FileTime currentTime(const CleanOptions& options) {
    return options.now.value_or(std::chrono::system_clock::now());
}

int emptyDirectories(const CleanupActions::EmptyDirectories& action,
                     const AllowedRoots& allowedRoots) {
    int leftAlone = 0;
    for (const auto& root : action.roots) {
        auto anchored = anchoredRoot(root, allowedRoots);
        if (!anchored)
            continue;
        if (!anchored->fd.valid())
            throw ListingError(anchored->path, anchored->error);
        leftAlone += TreeRemover::removeEntries(anchored->fd.get());
    }
    return leftAlone;
}

// Other users may be able to write to such a folder (the scratch folder is in /tmp), so only a
// folder the user owns is cleaned, and only the entries the user owns inside it.
int emptyOlderThan(const CleanupActions::EmptyOlderThan& action, const AllowedRoots& allowedRoots,
                   const CleanOptions& options) {
    const uid_t user = geteuid();
    int leftAlone = 0;
    for (const auto& root : action.roots) {
        const FileTime cutoff = cutoffBefore(currentTime(options), action.days);
        auto anchored = anchoredRoot(root, allowedRoots);
        if (!anchored || !anchored->fd.valid())
            continue;
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
    if (!allowedRoots.contains(path) ||
        !ProjectScanner::artifactNames().contains(root.filename().string()) || isSymbolicLink(root))
        throw CleanError::notAllowed(path);
}

bool somethingExistsAt(const std::filesystem::path& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

bool removeFolderAt(const std::filesystem::path& path) {
    UniqueFd parent(open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.valid())
        return errno == ENOENT;
    return TreeRemover::removeFolder(parent.get(), path.filename().c_str());
}

// Every root is checked before any is deleted; then each artefact is re-checked, because the
// project may have been touched since it was found.
int removeDirectories(const CleanupActions::RemoveDirectories& action,
                      const AllowedRoots& allowedRoots, const CleanOptions& options) {
    std::vector<std::filesystem::path> roots;
    for (const auto& root : action.roots)
        roots.push_back(standardized(root));
    for (const auto& root : roots)
        requireRemovableArtifact(root, allowedRoots);

    const FileTime now = currentTime(options);
    int leftAlone = 0;
    std::vector<std::filesystem::path> toDelete;
    for (const auto& root : roots) {
        if (!somethingExistsAt(root))
            continue;
        if (ProjectScanner::isArtifact(root, options.git) &&
            ProjectScanner::isDormant(root.parent_path(), now, dormantProjectDays))
            toDelete.push_back(root);
        else
            ++leftAlone;
    }
    for (const auto& root : toDelete)
        if (!removeFolderAt(root))
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

int spawnWithOutputDiscarded(const std::filesystem::path& tool, std::vector<std::string> argv,
                             pid_t& child) {
    std::vector<char*> pointers;
    for (auto& argument : argv)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int error =
        posix_spawn(&child, tool.c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error;
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

std::optional<std::filesystem::path> guardedRoot(const std::filesystem::path& root,
                                                 const AllowedRoots& allowedRoots) {
    std::filesystem::path path = standardized(root);
    if (!allowedRoots.contains(path.string()))
        throw CleanError::notAllowed(path.string());
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0)
        return std::nullopt; // a failed read is no link, and nothing to clean
    if (S_ISLNK(status.st_mode))
        throw CleanError::notAllowed(path.string());
    return path;
}

int clean(const CleanupItem& item, const AllowedRoots& allowedRoots, const CleanOptions& options) {
    if (const auto* action = std::get_if<CleanupActions::EmptyDirectories>(&item.action))
        return emptyDirectories(*action, allowedRoots);
    if (const auto* action = std::get_if<CleanupActions::EmptyOlderThan>(&item.action))
        return emptyOlderThan(*action, allowedRoots, options);
    if (const auto* action = std::get_if<CleanupActions::RemoveDirectories>(&item.action))
        return removeDirectories(*action, allowedRoots, options);
    return simctl(std::get<CleanupActions::Simctl>(item.action), options);
}

int removeAll(const std::vector<std::filesystem::path>& paths) {
    int failures = 0;
    for (const auto& given : paths) {
        const std::filesystem::path path = standardized(given);
        UniqueFd parent(open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const bool gone = parent.valid()
                              ? TreeRemover::removeEntry(parent.get(), path.filename().c_str())
                              : errno == ENOENT;
        if (!gone)
            ++failures;
    }
    return failures;
}

void runSimctl(const std::vector<std::string>& arguments, const std::filesystem::path& tool) {
    std::vector<std::string> argv{tool.string(), "simctl"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    pid_t child = 0;
    if (const int error = spawnWithOutputDiscarded(tool, std::move(argv), child))
        throw std::system_error(error, std::generic_category(), "Couldn't start " + tool.string());
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw CleanError::commandFailed(commandLine(arguments));
}

} // namespace Cleaner
