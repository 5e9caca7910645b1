#include "core/TreeRemover.h"

#include "core/TreeWalker.h"
#include "core/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace TreeRemover {
namespace {

bool isGone(int result) {
    return result == 0 || errno == ENOENT;
}

// Deletes on the way: files as they are listed, folders when the walk leaves them. The count
// is kept per entry of the walked folder: whatever is left behind anywhere inside one of them
// makes that one count once.
class Removal : public TreeWalker::Visitor {
public:
    Removal(const Selection& selection, dev_t device) : selection_(selection), device_(device) {}

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

    void leave(const TreeWalker::Entry& entry, bool complete) override {
        if (entry.parentFd < 0) {
            leftBehind(); // moved away while we were inside: not followed
            return;
        }
        removeFolder(entry, complete);
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

    void removeFolder(const TreeWalker::Entry& entry, bool complete) {
        if (isGone(unlinkat(entry.parentFd, entry.name, AT_REMOVEDIR)))
            return;
        const bool notEmpty = errno == ENOTEMPTY || errno == EEXIST;
        if (notEmpty && complete && !relisting_ && relist(entry) &&
            isGone(unlinkat(entry.parentFd, entry.name, AT_REMOVEDIR)))
            return;
        leftBehind();
    }

    // A folder whose listing ended may still hold entries: on some file systems (tmpfs before
    // Linux 6.6) a listing that was closed and re-opened at its old position skips entries
    // once earlier ones were removed. One more pass finds them; it does not repeat itself.
    bool relist(const TreeWalker::Entry& entry) {
        UniqueFd folder(TreeWalker::openFolder(entry.parentFd, entry.name));
        if (!folder.valid() || TreeWalker::isOtherFileSystem(folder.get(), device_))
            return false;
        relisting_ = true;
        TreeWalker::walk(folder.get(), *this, entry.depth, device_);
        relisting_ = false;
        return true;
    }

    const Selection& selection_;
    dev_t device_;
    int leftAlone_ = 0;
    bool inTopLevel_ = false;
    bool topLevelLeftBehind_ = false;
    bool relisting_ = false;
};

} // namespace

int removeEntries(int folderFd, const Selection& selection) {
    struct stat status {};
    if (fstat(folderFd, &status) != 0)
        return 0;
    Removal removal(selection, status.st_dev);
    TreeWalker::walk(folderFd, removal, 0, status.st_dev);
    return removal.finish();
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
