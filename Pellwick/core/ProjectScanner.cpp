#include "core/ProjectScanner.h"

#include "core/ChildProcess.h"
#include "core/CleanerMeasurement.h"
#include "core/ParallelFor.h"
#include "core/SaturatingAdd.h"
#include "core/StandardPath.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace fs = std::filesystem;

namespace ProjectScanner {
namespace {

// Entries this many levels below a root are the deepest ones examined.
constexpr int deepestExaminedLevel = 8;

// How many folders, the starting one included, are searched for a ".git".
constexpr int gitSearchLimit = 16;

// git children and dormancy walks at once: each mostly waits, on the disk or on its child.
constexpr unsigned concurrentGitChecks = 4;
constexpr unsigned concurrentDormancyChecks = 8;

const std::vector<std::string>& gitMetadataFiles() {
    static const std::vector<std::string> files{"HEAD", "index", "FETCH_HEAD", "logs/HEAD"};
    return files;
}

// Exactly these two variables: nothing of the user's git configuration in the environment
// (GIT_DIR, GIT_WORK_TREE …) may change which repository answers, and optional locks would
// make a read-only question write to the index.
const std::vector<std::string>& gitEnvironment() {
    static const std::vector<std::string> environment{"GIT_OPTIONAL_LOCKS=0", "PATH=/usr/bin:/bin"};
    return environment;
}

// A scanned repository is not ours: its own configuration may name programs to run or hooks,
// and settings given on the command line win over it. The file system monitor is the one
// check-ignore starts while it reads the index; hooks and the pager are switched off as well
// so that no later git changes that.
std::vector<std::string> gitCommand(std::vector<std::string> arguments) {
    std::vector<std::string> command{"--no-pager",
                                     "-c",
                                     "core.fsmonitor=false",
                                     "-c",
                                     "core.hooksPath=/dev/null",
                                     "-c",
                                     "core.untrackedCache=false",
                                     "-c",
                                     "core.pager=cat"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

ChildProcess::Options gitOptions(const fs::path& git, std::vector<std::string> arguments,
                                 std::chrono::milliseconds timeLimit) {
    ChildProcess::Options options;
    options.program = git;
    options.arguments = gitCommand(std::move(arguments));
    options.environment = gitEnvironment();
    options.timeout = timeLimit;
    return options;
}

// An answer only counts when git ended by itself.
bool answered(const ChildProcess::Result& result) {
    return result.started && !result.timedOut && !result.outputCut;
}

// Existence as a file manager sees it: symbolic links are followed, so a dangling one is absent.
bool pathExists(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

bool isProjectSkippedName(std::string_view name) {
    return name == ".git" || artifactNames().contains(std::string(name));
}

std::string joined(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

// Collects the folders named like artefacts, keeping the path of the folder being listed as a
// stack of names: the walk is depth-first, so an entry at depth d always lies in the folder most
// recently entered at depth d − 1.
class CandidateVisitor : public TreeWalker::Visitor {
public:
    CandidateVisitor(std::string root, std::vector<fs::path>& found)
        : root_(std::move(root)), found_(found) {}

    bool wantsStat(const TreeWalker::Entry&) override { return false; }

    bool visit(const TreeWalker::Entry& entry, const struct stat*) override {
        if (entry.depth > deepestExaminedLevel || entry.type != DT_DIR)
            return false;
        const std::string_view name = entry.name;
        if (skippedFolderNames().contains(std::string(name)))
            return false;
        folders_.resize(std::size_t(entry.depth - 1));
        if (artifactNames().contains(std::string(name))) {
            found_.emplace_back(joined(currentFolder(), name));
            return false;
        }
        if (entry.depth == deepestExaminedLevel)
            return false; // nothing below it is examined
        folders_.emplace_back(name);
        return true;
    }

private:
    [[nodiscard]] std::string currentFolder() const {
        std::string path = root_;
        for (const auto& folder : folders_)
            path = joined(path, folder);
        return path;
    }

    std::string root_;
    std::vector<fs::path>& found_;
    std::vector<std::string> folders_;
};

// Looks for the first entry modified after the cutoff, leaving out ".git" and artefacts. The
// walker cannot be stopped, so after a hit it is only let list what is already open.
class ActivityVisitor : public TreeWalker::Visitor {
public:
    explicit ActivityVisitor(FileTime cutoff) : cutoff_(cutoff) {}

    bool wantsStat(const TreeWalker::Entry& entry) override {
        return !found_ && !isProjectSkippedName(entry.name);
    }

    bool visit(const TreeWalker::Entry& entry, const struct stat* status) override {
        if (found_ || isProjectSkippedName(entry.name))
            return false;
        if (status && fileTimeOf(status->st_mtim) > cutoff_) {
            found_ = true;
            return false;
        }
        return true;
    }

    [[nodiscard]] bool found() const { return found_; }

private:
    FileTime cutoff_;
    bool found_ = false;
};

// The folder a root names, its own link followed: a "~/code" that leads to "/data/code" is
// searched as "/data/code", the place git and every later check see.
std::optional<fs::path> walkableRoot(const fs::path& root) {
    if (!root.is_absolute() || hasNulByte(root))
        return std::nullopt;
    fs::path start = standardized(root);
    struct stat status {};
    if (lstat(start.c_str(), &status) != 0)
        return std::nullopt;
    if (S_ISLNK(status.st_mode)) {
        std::error_code error;
        start = fs::canonical(start, error);
        if (error)
            return std::nullopt;
    }
    return start;
}

std::vector<fs::path> candidateFolders(const fs::path& root) {
    std::vector<fs::path> found;
    const auto start = walkableRoot(root);
    if (!start)
        return found;
    UniqueFd fd(TreeWalker::openFolder(AT_FDCWD, start->c_str()));
    struct stat status {};
    if (!fd.valid() || fstat(fd.get(), &status) != 0)
        return found;
    CandidateVisitor visitor(start->string(), found);
    TreeWalker::walk(fd.get(), visitor, 0, status.st_dev);
    return found;
}

std::optional<fs::path> enclosingGitRoot(const fs::path& folder) {
    fs::path current = standardized(folder);
    for (int searched = 0; searched < gitSearchLimit; ++searched) {
        if (pathExists(current / ".git"))
            return current;
        fs::path parent = current.parent_path();
        if (parent == current)
            return std::nullopt;
        current = std::move(parent);
    }
    return std::nullopt;
}

// Whether git ignores the entry `name` of the folder git runs in (the caller's `folderFd`, or
// `folder` by path when that is -1).
bool gitIgnores(const fs::path& git, std::chrono::milliseconds timeLimit, int folderFd,
                const fs::path& folder, const std::string& name) {
    std::vector<std::string> arguments{"check-ignore", "-q", "--", "./" + name};
    if (folderFd < 0)
        arguments.insert(arguments.begin(), {"-C", folder.string()});
    auto options = gitOptions(git, std::move(arguments), timeLimit);
    options.workingDirectoryFd = folderFd;
    const auto result = ChildProcess::run(options);
    return answered(result) && result.exitStatus == 0;
}

bool isIgnoredByGit(const fs::path& artifact, const fs::path& git,
                    std::chrono::milliseconds timeLimit) {
    const fs::path project = artifact.parent_path();
    if (!enclosingGitRoot(project))
        return true;
    return gitIgnores(git, timeLimit, -1, project, artifact.filename().string());
}

bool existsAt(int folderFd, const std::string& name) {
    struct stat status {};
    return fstatat(folderFd, name.c_str(), &status, 0) == 0;
}

bool hasMarkerAt(int projectFd, const std::string& name, const Marker& marker) {
    if (const auto* sibling = std::get_if<Markers::Sibling>(&marker)) {
        return std::any_of(sibling->names.begin(), sibling->names.end(),
                           [&](const auto& marker) { return existsAt(projectFd, marker); });
    }
    return existsAt(projectFd, name + "/" + std::get<Markers::Inside>(marker).name);
}

bool wasModifiedAt(int folderFd, const std::string& name, FileTime cutoff) {
    struct stat status {};
    if (fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    return fileTimeOf(status.st_mtim) > cutoff;
}

// The nearest folder at or above the open folder that holds a ".git", climbing through ".." as
// git itself does from the folder it runs in.
std::optional<UniqueFd> enclosingRepositoryAt(int folderFd) {
    UniqueFd current(::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int searched = 0; searched < gitSearchLimit && current.valid(); ++searched) {
        if (existsAt(current.get(), ".git"))
            return current;
        UniqueFd parent(::openat(current.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat here {};
        struct stat above {};
        if (!parent.valid() || fstat(current.get(), &here) != 0 ||
            fstat(parent.get(), &above) != 0 ||
            (here.st_dev == above.st_dev && here.st_ino == above.st_ino))
            return std::nullopt;
        current = std::move(parent);
    }
    return std::nullopt;
}

// Everything that makes the folder `name` inside the open project folder an artefact except
// git's opinion of it. A mount point is never removed, so it is not offered either.
bool looksLikeArtifactAt(int projectFd, const std::string& name) {
    const auto marker = artifactMarkers().find(name);
    if (marker == artifactMarkers().end())
        return false;
    struct stat status {};
    if (fstatat(projectFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(status.st_mode))
        return false;
    return !TreeWalker::isMountPointAt(projectFd, name.c_str()) &&
           hasMarkerAt(projectFd, name, marker->second);
}

bool looksLikeArtifact(const fs::path& folder) {
    // O_PATH: a project the user may enter but not list still has its artefacts checked.
    UniqueFd project(::open(folder.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return project.valid() && looksLikeArtifactAt(project.get(), folder.filename().string());
}

std::string relativeInside(const fs::path& repository, const fs::path& path) {
    const std::string& folder = repository.native();
    return path.native().substr(folder == "/" ? 1 : folder.size() + 1);
}

// One git child for all artefacts of one repository. Each path is sent as "./" + the path
// below the work tree, so a folder whose name starts with ":" is never read as pathspec magic;
// check-ignore prints the ignored ones exactly as they were sent. If git refuses the batch
// (a path it will not take stops the whole run), every folder is asked on its own instead, so
// the answers are always those of the single check.
std::vector<bool> ignoredInRepository(const fs::path& repository,
                                      const std::vector<fs::path>& artifacts, const fs::path& git,
                                      std::chrono::milliseconds timeLimit) {
    std::vector<std::string> sent;
    std::string input;
    for (const auto& artifact : artifacts) {
        sent.push_back("./" + relativeInside(repository, artifact));
        input += sent.back();
        input += '\0';
    }
    auto options =
        gitOptions(git, {"-C", repository.string(), "check-ignore", "--stdin", "-z"}, timeLimit);
    options.input = ChildProcess::Stream::pipe;
    options.output = ChildProcess::Stream::pipe;
    options.outputLimit = input.size() + 1;
    options.standardInput = std::move(input);
    const auto result = ChildProcess::run(options);

    std::vector<bool> ignored(artifacts.size(), false);
    if (!answered(result))
        return ignored; // asking again one by one would wait as long again for each folder
    if (result.exitStatus == 0 || result.exitStatus == 1) {
        std::unordered_set<std::string_view> printed;
        std::string_view rest = result.output;
        while (!rest.empty()) {
            const auto end = std::min(rest.find('\0'), rest.size());
            printed.insert(rest.substr(0, end));
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
        for (std::size_t i = 0; i < artifacts.size(); ++i)
            ignored[i] = printed.contains(sent[i]);
        return ignored;
    }
    for (std::size_t i = 0; i < artifacts.size(); ++i)
        ignored[i] = isIgnoredByGit(artifacts[i], git, timeLimit);
    return ignored;
}

// The candidates of every root in walk order, each folder once however many roots reach it
// (also through different paths, so nothing is measured or deleted twice).
std::vector<fs::path> uniqueCandidates(const std::vector<fs::path>& roots) {
    std::vector<fs::path> unique;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (const auto& root : roots) {
        for (auto& candidate : candidateFolders(root)) {
            struct stat status {};
            if (lstat(candidate.c_str(), &status) != 0)
                continue;
            if (seen.emplace(status.st_dev, status.st_ino).second)
                unique.push_back(std::move(candidate));
        }
    }
    return unique;
}

// git's half of isArtifact for many folders that look like artefacts, with one git child per
// repository instead of one per folder.
std::vector<fs::path> artifactsAmong(const std::vector<fs::path>& candidates, const fs::path& git,
                                     std::chrono::milliseconds timeLimit) {
    std::vector<bool> accepted(candidates.size(), false);
    std::unordered_map<std::string, std::optional<fs::path>> repositoryOfProject;
    std::vector<std::pair<fs::path, std::vector<std::size_t>>> byRepository;
    std::unordered_map<std::string, std::size_t> repositoryIndex;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::string project = candidates[i].parent_path().string();
        auto known = repositoryOfProject.find(project);
        if (known == repositoryOfProject.end())
            known = repositoryOfProject.emplace(project, enclosingGitRoot(project)).first;
        if (!known->second) {
            accepted[i] = true;
            continue;
        }
        const auto [slot, added] =
            repositoryIndex.emplace(known->second->string(), byRepository.size());
        if (added)
            byRepository.push_back({*known->second, {}});
        byRepository[slot->second].second.push_back(i);
    }
    // Each repository's git waits mostly on the disk: several run at once.
    std::vector<std::vector<bool>> ignored(byRepository.size());
    parallelFor(byRepository.size(), concurrentGitChecks, [&](std::size_t r) {
        std::vector<fs::path> folders;
        for (const auto index : byRepository[r].second)
            folders.push_back(candidates[index]);
        ignored[r] = ignoredInRepository(byRepository[r].first, folders, git, timeLimit);
    });
    for (std::size_t r = 0; r < byRepository.size(); ++r) {
        const auto& members = byRepository[r].second;
        for (std::size_t k = 0; k < members.size(); ++k)
            accepted[members[k]] = ignored[r][k];
    }
    std::vector<fs::path> artifacts;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (accepted[i])
            artifacts.push_back(candidates[i]);
    }
    return artifacts;
}

// Projects in the order their first artefact was found, artefacts in walk order.
std::vector<DormantProject> groupedByProject(const std::vector<fs::path>& artifacts) {
    std::vector<DormantProject> projects;
    std::unordered_map<std::string, std::size_t> indexOfProject;
    for (const auto& artifact : artifacts) {
        fs::path project = standardized(artifact.parent_path());
        const auto [slot, added] = indexOfProject.emplace(project.string(), projects.size());
        if (added)
            projects.push_back(DormantProject{std::move(project), {}, 0});
        projects[slot->second].artifacts.push_back(artifact);
    }
    return projects;
}

} // namespace

std::vector<std::string> DormantProject::artifactNames() const {
    std::vector<std::string> names;
    for (const auto& artifact : artifacts)
        names.push_back(artifact.filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

const std::map<std::string, Marker>& artifactMarkers() {
    static const std::map<std::string, Marker> markers{
        {"node_modules", Markers::Sibling{{"package.json"}}},
        {".next", Markers::Sibling{{"package.json"}}},
        {".nuxt", Markers::Sibling{{"package.json"}}},
        {".svelte-kit", Markers::Sibling{{"package.json"}}},
        {".turbo", Markers::Sibling{{"package.json"}}},
        {".parcel-cache", Markers::Sibling{{"package.json"}}},
        {"Pods", Markers::Sibling{{"Podfile"}}},
        {".build", Markers::Sibling{{"Package.swift"}}},
        {"target", Markers::Sibling{{"Cargo.toml"}}},
        {".dart_tool", Markers::Sibling{{"pubspec.yaml"}}},
        {".venv", Markers::Inside{"pyvenv.cfg"}},
        {"venv", Markers::Inside{"pyvenv.cfg"}},
    };
    return markers;
}

const std::set<std::string>& artifactNames() {
    static const std::set<std::string> names = [] {
        std::set<std::string> keys;
        for (const auto& [name, marker] : artifactMarkers())
            keys.insert(name);
        return keys;
    }();
    return names;
}

const std::set<std::string>& skippedFolderNames() {
    static const std::set<std::string> names{".git", "Library", ".Trash", "Applications"};
    return names;
}

// Never throws: a scan that fails (for want of memory or threads) finds nothing.
// Which projects nobody touched is found before git is asked: a dormancy walk costs far less
// than a git child, and git then answers only for folders that could be offered.
std::vector<DormantProject> scan(const std::vector<fs::path>& roots, FileTime now, int days,
                                 const fs::path& git, std::chrono::milliseconds gitTimeLimit) try {
    std::vector<fs::path> lookAlikes;
    for (auto& candidate : uniqueCandidates(roots)) {
        if (looksLikeArtifact(candidate))
            lookAlikes.push_back(std::move(candidate));
    }
    const auto projects = groupedByProject(lookAlikes);
    std::vector<char> isDormantProject(projects.size(), 0);
    parallelFor(projects.size(), concurrentDormancyChecks, [&](std::size_t i) {
        isDormantProject[i] = isDormant(projects[i].root, now, days);
    });
    std::unordered_set<std::string> dormantRoots;
    for (std::size_t i = 0; i < projects.size(); ++i) {
        if (isDormantProject[i])
            dormantRoots.insert(projects[i].root.string());
    }
    std::vector<fs::path> inDormantProjects; // still in walk order
    for (auto& folder : lookAlikes) {
        if (dormantRoots.contains(standardized(folder.parent_path()).string()))
            inDormantProjects.push_back(std::move(folder));
    }
    auto dormant = groupedByProject(artifactsAmong(inDormantProjects, git, gitTimeLimit));
    std::vector<fs::path> artifacts;
    for (const auto& project : dormant)
        artifacts.insert(artifacts.end(), project.artifacts.begin(), project.artifacts.end());
    // Every artefact on one shared queue: the small ones no longer wait for each other.
    const auto sizes = Cleaner::allocatedSizes(artifacts);
    std::size_t next = 0;
    for (auto& project : dormant)
        for (std::size_t k = 0; k < project.artifacts.size(); ++k)
            project.size = saturatingAdd(project.size, sizes[next++]);
    std::stable_sort(dormant.begin(), dormant.end(),
                     [](const auto& a, const auto& b) { return a.size > b.size; });
    return dormant;
} catch (...) {
    return {};
}

bool isArtifact(const fs::path& folder, const fs::path& git,
                std::chrono::milliseconds gitTimeLimit) {
    const fs::path standard = standardized(folder);
    return looksLikeArtifact(standard) && isIgnoredByGit(standard, git, gitTimeLimit);
}

bool isDormant(const fs::path& project, FileTime now, int days) {
    UniqueFd fd(TreeWalker::openFolder(AT_FDCWD, standardized(project).c_str()));
    return fd.valid() && isDormantAt(fd.get(), now, days);
}

bool isArtifactAt(int projectFd, const std::string& name, const fs::path& git,
                  std::chrono::milliseconds gitTimeLimit) {
    if (!looksLikeArtifactAt(projectFd, name))
        return false;
    if (!enclosingRepositoryAt(projectFd))
        return true;
    return gitIgnores(git, gitTimeLimit, projectFd, {}, name);
}

bool isDormantAt(int projectFd, FileTime now, int days) {
    const FileTime cutoff = cutoffBefore(now, days);
    struct stat status {};
    if (fstat(projectFd, &status) != 0 || fileTimeOf(status.st_mtim) > cutoff)
        return false;
    if (const auto repository = enclosingRepositoryAt(projectFd)) {
        for (const auto& name : gitMetadataFiles()) {
            if (wasModifiedAt(repository->get(), ".git/" + name, cutoff))
                return false;
        }
    }
    ActivityVisitor visitor(cutoff);
    TreeWalker::walk(projectFd, visitor, 0, status.st_dev);
    return !visitor.found();
}

} // namespace ProjectScanner
