#include "core/TreeRemover.h"

#include "core/ParallelFor.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <numeric>
#include <string_view>
#include <vector>

namespace TreeRemover {
namespace {

// Threads that remove at once: each mostly waits for the file system.
constexpr std::size_t removalThreads = 8;

bool isGone(int result) {
    return result == 0 || errno == ENOENT;
}

// Deletes on the way: files as they are listed, folders when the walk leaves them. The count
// is kept per entry of the walked folder: whatever is left behind anywhere inside one of them
// makes that one count once.
class Removal : public TreeWalker::Visitor {
public:
    explicit Removal(const Selection& selection) : selection_(selection) {}

    bool wantsStat(const TreeWalker::Entry& entry) override {
        return entry.depth == 1 && selection_.owner.has_value();
    }

    bool visit(const TreeWalker::Entry& entry, const struct stat* status) override {
        if (entry.depth == 1 && !beginTopLevel(entry, status))
            return false;
        if (entry.type == DT_DIR)
            return true;
        removeNonFolder(entry);
        return false;
    }

    void leave(const TreeWalker::Entry& entry, bool) override {
        if (entry.parentFd < 0) {
            leftBehind(); // moved away while we were inside: not followed
            return;
        }
        removeFolder(entry);
    }

    // A folder moved out of the tree while it is being emptied must not be emptied at its new
    // place.
    [[nodiscard]] bool checksPlacement() const override { return true; }

    void unreachable(const TreeWalker::Entry& entry, int error) override {
        if (error == ELOOP || error == ENOTDIR)
            removeNonFolder(entry); // replaced since the listing, typically by a link
        else if (error == EXDEV)
            leftBehind();
        else if (!isGone(unlinkat(entry.parentFd, entry.name, AT_REMOVEDIR)))
            leftBehind(); // an unreadable folder still goes when it is empty
    }

    [[nodiscard]] int finish() {
        endTopLevel();
        return leftAlone_;
    }

private:
    bool beginTopLevel(const TreeWalker::Entry& entry, const struct stat* status) {
        endTopLevel();
        if (selection_.names && !selection_.names->contains(std::string_view(entry.name)))
            return false;
        inTopLevel_ = true;
        if (selection_.owner && (!status || status->st_uid != *selection_.owner)) {
            leftBehind();
            return false;
        }
        return true;
    }

    void endTopLevel() {
        if (inTopLevel_ && topLevelLeftBehind_)
            ++leftAlone_;
        inTopLevel_ = false;
        topLevelLeftBehind_ = false;
    }

    void leftBehind() { topLevelLeftBehind_ = true; }

    void removeNonFolder(const TreeWalker::Entry& entry) {
        if (!isGone(unlinkat(entry.parentFd, entry.name, 0)))
            leftBehind();
    }

    // A folder that still holds entries once its listing ended (something was put there during
    // the sweep, perhaps after the folder was moved away) stays, with what is in it, and counts.
    void removeFolder(const TreeWalker::Entry& entry) {
        if (!isGone(unlinkat(entry.parentFd, entry.name, AT_REMOVEDIR)))
            leftBehind();
    }

    const Selection& selection_;
    int leftAlone_ = 0;
    bool inTopLevel_ = false;
    bool topLevelLeftBehind_ = false;
};

// The selected names directly inside the folder, read once.
std::vector<std::string> selectedNames(int folderFd, const Selection& selection) {
    std::vector<std::string> names;
    const int fd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* stream = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!stream) {
        if (fd >= 0)
            close(fd);
        return names;
    }
    while (const dirent* record = readdir(stream)) {
        const std::string_view name = record->d_name;
        if (name != "." && name != ".." && (!selection.names || selection.names->contains(name)))
            names.emplace_back(name);
    }
    closedir(stream);
    return names;
}

int removeOnOneThread(int folderFd, const Selection& selection, dev_t device) {
    Removal removal(selection);
    TreeWalker::walk(folderFd, removal, 0, device);
    return removal.finish();
}

} // namespace

int removeEntries(int folderFd, const Selection& selection) {
    struct stat status {};
    if (fstat(folderFd, &status) != 0)
        return 0;
    const auto names = selectedNames(folderFd, selection);
    if (names.size() < 2)
        return removeOnOneThread(folderFd, selection, status.st_dev);
    // Removing waits on the file system for every file (a discard on ext4 mounted with it), so
    // the top-level entries are shared out between threads, each walking its own part.
    const std::size_t parts = std::min<std::size_t>(names.size(), removalThreads);
    std::vector<Selection> selections(
        parts, Selection{std::set<std::string, std::less<>>{}, selection.owner});
    for (std::size_t i = 0; i < names.size(); ++i)
        selections[i % parts].names->insert(names[i]);
    std::vector<int> leftAlone(parts, 0);
    parallelFor(parts, removalThreads, [&](std::size_t part) {
        leftAlone[part] = removeOnOneThread(folderFd, selections[part], status.st_dev);
    });
    return std::accumulate(leftAlone.begin(), leftAlone.end(), 0);
}

bool removeEntry(int parentFd, const char* name) {
    if (isGone(unlinkat(parentFd, name, 0)))
        return true;
    return errno == EISDIR && removeFolder(parentFd, name);
}

bool removeFolder(int parentFd, const char* name) {
    UniqueFd folder(TreeWalker::openFolder(parentFd, name));
    if (!folder.valid())
        return errno == ENOENT;
    return removeOpenedFolder(parentFd, name, folder.get());
}

bool removeOpenedFolder(int parentFd, const char* name, int folderFd) {
    struct stat parent {};
    if (fstat(parentFd, &parent) != 0 || TreeWalker::isOtherFileSystem(folderFd, parent.st_dev))
        return false;
    if (removeEntries(folderFd) != 0)
        return false;
    return isGone(unlinkat(parentFd, name, AT_REMOVEDIR));
}

} // namespace TreeRemover
