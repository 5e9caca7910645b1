#include "core/ProjectScanner.h"

#include "core/ChildProcess.h"
#include "core/CleanerMeasurement.h"
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

std::vector<fs::path> candidateFolders(const fs::path& root) {
    std::vector<fs::path> found;
    const fs::path start = standardized(root);
    UniqueFd fd(TreeWalker::openFolder(AT_FDCWD, start.c_str()));
    struct stat status {};
    if (!fd.valid() || fstat(fd.get(), &status) != 0)
        return found;
    CandidateVisitor visitor(start.string(), found);
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

int runGit(const fs::path& git, std::vector<std::string> arguments) {
    ChildProcess::Options options;
    options.program = git;
    options.arguments = std::move(arguments);
    options.environment = gitEnvironment();
    const auto result = ChildProcess::run(options);
    return result.started ? result.exitStatus : -1;
}

bool isIgnoredByGit(const fs::path& artifact, const fs::path& git) {
    const fs::path project = artifact.parent_path();
    if (!enclosingGitRoot(project))
        return true;
    return runGit(git, {"-C", project.string(), "check-ignore", "-q", "--",
                        artifact.filename().string()}) == 0;
}

bool wasModified(const fs::path& path, FileTime cutoff) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0)
        return false;
    return fileTimeOf(status.st_mtim) > cutoff;
}

bool hasMarker(const fs::path& folder, const Marker& marker) {
    if (const auto* sibling = std::get_if<Markers::Sibling>(&marker)) {
        return std::any_of(sibling->names.begin(), sibling->names.end(), [&](const auto& name) {
            return pathExists(folder.parent_path() / name);
        });
    }
    return pathExists(folder / std::get<Markers::Inside>(marker).name);
}

// Everything that makes a folder an artefact except git's opinion of it.
bool looksLikeArtifact(const fs::path& folder) {
    const auto marker = artifactMarkers().find(folder.filename().string());
    if (marker == artifactMarkers().end())
        return false;
    struct stat status {};
    if (lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    return hasMarker(folder, marker->second);
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
                                      const std::vector<fs::path>& artifacts, const fs::path& git) {
    std::vector<std::string> sent;
    std::string input;
    for (const auto& artifact : artifacts) {
        sent.push_back("./" + relativeInside(repository, artifact));
        input += sent.back();
        input += '\0';
    }
    ChildProcess::Options options;
    options.program = git;
    options.arguments = {"-C", repository.string(), "check-ignore", "--stdin", "-z"};
    options.environment = gitEnvironment();
    options.input = ChildProcess::Stream::pipe;
    options.output = ChildProcess::Stream::pipe;
    options.standardInput = std::move(input);
    const auto result = ChildProcess::run(options);

    std::vector<bool> ignored(artifacts.size(), false);
    if (!result.started)
        return ignored;
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
        ignored[i] = isIgnoredByGit(artifacts[i], git);
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

// isArtifact for many folders, with one git child per repository instead of one per folder.
std::vector<fs::path> artifactsAmong(const std::vector<fs::path>& candidates, const fs::path& git) {
    std::vector<bool> accepted(candidates.size(), false);
    std::unordered_map<std::string, std::optional<fs::path>> repositoryOfProject;
    std::vector<std::pair<fs::path, std::vector<std::size_t>>> byRepository;
    std::unordered_map<std::string, std::size_t> repositoryIndex;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (!looksLikeArtifact(candidates[i]))
            continue;
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
    for (const auto& [repository, members] : byRepository) {
        std::vector<fs::path> folders;
        for (const auto index : members)
            folders.push_back(candidates[index]);
        const auto ignored = ignoredInRepository(repository, folders, git);
        for (std::size_t k = 0; k < members.size(); ++k)
            accepted[members[k]] = ignored[k];
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
std::vector<DormantProject> scan(const std::vector<fs::path>& roots, FileTime now, int days,
                                 const fs::path& git) try {
    std::vector<DormantProject> dormant;
    for (auto& project : groupedByProject(artifactsAmong(uniqueCandidates(roots), git))) {
        if (!isDormant(project.root, now, days))
            continue;
        for (const auto& artifact : project.artifacts)
            project.size = saturatingAdd(project.size, Cleaner::allocatedSize(artifact));
        dormant.push_back(std::move(project));
    }
    std::stable_sort(dormant.begin(), dormant.end(),
                     [](const auto& a, const auto& b) { return a.size > b.size; });
    return dormant;
} catch (...) {
    return {};
}

bool isArtifact(const fs::path& folder, const fs::path& git) {
    const fs::path standard = standardized(folder);
    return looksLikeArtifact(standard) && isIgnoredByGit(standard, git);
}

bool isDormant(const fs::path& project, FileTime now, int days) {
    const FileTime cutoff = cutoffBefore(now, days);
    const fs::path folder = standardized(project);
    if (wasModified(folder, cutoff))
        return false;
    if (const auto repository = enclosingGitRoot(folder)) {
        for (const auto& name : gitMetadataFiles()) {
            if (wasModified(*repository / ".git" / name, cutoff))
                return false;
        }
    }
    UniqueFd fd(TreeWalker::openFolder(AT_FDCWD, folder.c_str()));
    struct stat status {};
    if (!fd.valid() || fstat(fd.get(), &status) != 0)
        return false;
    ActivityVisitor visitor(cutoff);
    TreeWalker::walk(fd.get(), visitor, 0, status.st_dev);
    return !visitor.found();
}

} // namespace ProjectScanner
