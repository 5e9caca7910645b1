#include "core/CleanerMeasurement.h"

#include "core/ParallelSizeWalk.h"
#include "core/SaturatingAdd.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string_view>

namespace Cleaner {
namespace {

class NewestVisitor : public TreeWalker::Visitor {
public:
    explicit NewestVisitor(FileTime start) : newest_(start) {}

    bool wantsStat(const TreeWalker::Entry&) override { return true; }

    bool visit(const TreeWalker::Entry& entry, const struct stat* status) override {
        if (status)
            newest_ = std::max(newest_, fileTimeOf(status->st_mtim));
        return entry.type == DT_DIR;
    }

    [[nodiscard]] FileTime newest() const { return newest_; }

private:
    FileTime newest_;
};

std::int64_t allocatedSizeAt(int parentFd, const char* name) {
    struct stat status {};
    if (fstatat(parentFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return 0;
    if (S_ISREG(status.st_mode))
        return allocatedBytes(status.st_blocks);
    if (!S_ISDIR(status.st_mode))
        return 0;
    UniqueFd folder(TreeWalker::openFolder(parentFd, name));
    if (!folder.valid())
        return 0;
    return ParallelSizeWalk::sumBelow(folder.get(), status.st_dev, ParallelSizeWalk::ioThreads());
}

// The listing goes through a fresh open of the folder, so the caller's descriptor keeps its
// own position.
std::vector<std::string> untouchedNamesAt(int folderFd, FileTime cutoff,
                                          std::optional<uid_t> owner) {
    std::vector<std::string> names;
    const int fd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return names;
    DIR* stream = fdopendir(fd);
    if (!stream) {
        close(fd);
        return names;
    }
    while (const dirent* record = readdir(stream)) {
        const std::string_view name = record->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat status {};
        if (owner && (fstatat(dirfd(stream), record->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
                      status.st_uid != *owner))
            continue;
        if ((record->d_type == DT_DIR || record->d_type == DT_UNKNOWN) &&
            TreeWalker::isMountPointAt(dirfd(stream), record->d_name))
            continue; // a sweep leaves it alone, so it is not counted either
        if (lastTouchedAt(dirfd(stream), record->d_name) < cutoff)
            names.emplace_back(name);
    }
    closedir(stream);
    return names;
}

std::int64_t sumOfSizes(const std::vector<std::filesystem::path>& paths) {
    std::int64_t total = 0;
    for (const auto& path : paths)
        total = saturatingAdd(total, allocatedSize(path));
    return total;
}

} // namespace

FileTime lastTouchedAt(int parentFd, const char* name) {
    struct stat status {};
    if (fstatat(parentFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return distantPast;
    const FileTime own = fileTimeOf(status.st_mtim);
    if (!S_ISDIR(status.st_mode))
        return own;
    UniqueFd folder(TreeWalker::openFolder(parentFd, name));
    if (!folder.valid())
        return own;
    NewestVisitor visitor(own);
    TreeWalker::walk(folder.get(), visitor, 0, status.st_dev);
    return visitor.newest();
}

std::int64_t allocatedSize(const std::filesystem::path& path) {
    return allocatedSizeAt(AT_FDCWD, path.c_str());
}

FileTime lastTouched(const std::filesystem::path& path) {
    return lastTouchedAt(AT_FDCWD, path.c_str());
}

std::vector<std::filesystem::path> untouchedEntries(const std::filesystem::path& folder,
                                                    FileTime cutoff) {
    std::vector<std::filesystem::path> entries;
    UniqueFd fd(TreeWalker::openFolder(AT_FDCWD, folder.c_str()));
    if (fd.valid())
        for (auto& name : untouchedNamesAt(fd.get(), cutoff, std::nullopt))
            entries.push_back(folder / name);
    return entries;
}

std::vector<std::string> untouchedNamesOwnedBy(int folderFd, FileTime cutoff, uid_t owner) {
    struct stat status {};
    if (fstat(folderFd, &status) != 0 || status.st_uid != owner)
        return {};
    return untouchedNamesAt(folderFd, cutoff, owner);
}

std::vector<std::filesystem::path> untouchedEntriesOwnedByUser(const std::filesystem::path& folder,
                                                               FileTime cutoff) {
    std::vector<std::filesystem::path> entries;
    UniqueFd fd(TreeWalker::openFolder(AT_FDCWD, folder.c_str()));
    if (fd.valid())
        for (auto& name : untouchedNamesOwnedBy(fd.get(), cutoff, geteuid()))
            entries.push_back(folder / name);
    return entries;
}

// Never throws: what cannot be measured (even for want of memory or threads) counts as 0.
std::int64_t measure(const CleanupItem& item, FileTime now) try {
    if (const auto* olderThan = std::get_if<CleanupActions::EmptyOlderThan>(&item.action)) {
        const FileTime cutoff = cutoffBefore(now, olderThan->days);
        std::int64_t total = 0;
        for (const auto& root : olderThan->roots)
            total = saturatingAdd(total, sumOfSizes(untouchedEntriesOwnedByUser(root, cutoff)));
        return total;
    }
    return sumOfSizes(item.sizeRoots);
} catch (...) {
    return 0;
}

std::vector<std::int64_t> allocatedSizes(const std::vector<std::filesystem::path>& paths) {
    std::vector<std::int64_t> sizes(paths.size(), 0);
    std::vector<UniqueFd> opened;
    std::vector<ParallelSizeWalk::Folder> folders;
    std::vector<std::size_t> pathOfFolder;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        struct stat status {};
        if (fstatat(AT_FDCWD, paths[i].c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(status.st_mode))
            sizes[i] = allocatedBytes(status.st_blocks);
        if (!S_ISDIR(status.st_mode))
            continue;
        UniqueFd folder(TreeWalker::openFolder(AT_FDCWD, paths[i].c_str()));
        if (!folder.valid())
            continue;
        folders.push_back({folder.get(), status.st_dev});
        pathOfFolder.push_back(i);
        opened.push_back(std::move(folder));
    }
    const auto sums = ParallelSizeWalk::sumBelowEach(folders, ParallelSizeWalk::ioThreads());
    for (std::size_t k = 0; k < sums.size(); ++k)
        sizes[pathOfFolder[k]] = sums[k];
    return sizes;
}

std::vector<std::int64_t> measureAll(const std::vector<CleanupItem>& items, FileTime now) try {
    std::vector<std::int64_t> sizes(items.size(), 0);
    std::vector<std::filesystem::path> roots;
    std::vector<std::size_t> itemOfRoot;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (std::holds_alternative<CleanupActions::EmptyOlderThan>(items[i].action)) {
            sizes[i] = measure(items[i], now);
            continue;
        }
        roots.insert(roots.end(), items[i].sizeRoots.begin(), items[i].sizeRoots.end());
        itemOfRoot.insert(itemOfRoot.end(), items[i].sizeRoots.size(), i);
    }
    const auto rootSizes = allocatedSizes(roots);
    for (std::size_t k = 0; k < rootSizes.size(); ++k)
        sizes[itemOfRoot[k]] = saturatingAdd(sizes[itemOfRoot[k]], rootSizes[k]);
    return sizes;
} catch (...) {
    return std::vector<std::int64_t>(items.size(), 0);
}

} // namespace Cleaner
