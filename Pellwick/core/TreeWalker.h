#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

// A depth-first walk over open directory descriptors. It never follows a symbolic link,
// never enters a mount point, keeps a bounded number of descriptors open however deep the
// tree is (ancestors it had to close are re-opened through ".." and verified by device and
// inode), and goes on past every entry it cannot read. Nothing of a folder's listing is kept
// in memory, so a folder of any size costs the same.
namespace TreeWalker {

struct Entry {
    int parentFd;       // open descriptor of the containing folder; -1 when it was lost
    const char* name;   // the entry's name inside that folder (any bytes but "/" and NUL)
    unsigned char type; // DT_REG, DT_DIR, DT_LNK … ; DT_UNKNOWN when even lstat failed
    int depth;          // 1 for the entries directly inside the walked folder
};

class Visitor {
public:
    virtual ~Visitor() = default;

    // Whether visit() wants the entry's lstat data (entries whose type the listing did not
    // report are always looked up).
    [[nodiscard]] virtual bool wantsStat(const Entry& entry) = 0;

    // Every entry once. `status` is null unless it was wanted and could be read. For a folder
    // the answer says whether to go inside it; for anything else it is ignored.
    virtual bool visit(const Entry& entry, const struct stat* status) = 0;

    // A folder about to be entered, opened as `fd`. Taking it (answering true) moves the
    // descriptor to the visitor, which walks it elsewhere; the walk then goes on beside it.
    virtual bool adopt(int fd, int depth);

    // A folder that was entered has been listed. `complete` is false when its listing stopped
    // early or it had to be abandoned because it was moved during the walk (then
    // entry.parentFd is -1).
    virtual void leave(const Entry& entry, bool complete);

    // A folder that was not entered: `error` is the errno of opening it, or EXDEV for a
    // mount point.
    virtual void unreachable(const Entry& entry, int error);

    // Whether the walk checks, every few entries, that the folders it is inside still lie where
    // it found them. A folder moved out of the tree is then abandoned (left with a parentFd of
    // -1) instead of being followed to its new place; the walked folder itself counts as moved
    // when its parent changed.
    [[nodiscard]] virtual bool checksPlacement() const;
};

// How many entries a placement-checking walk visits between two checks.
inline constexpr int placementCheckInterval = 64;

// Walks everything below the open folder `folderFd` (which stays the caller's). `baseDepth` is
// the depth of that folder itself; `device` is the device of the walk's root, so that an
// adopted subtree is bounded by the same file system.
void walk(int folderFd, Visitor& visitor, int baseDepth, dev_t device);

// Whether the open folder is a mount point or lies on another device than `device`, so a walk
// or removal must not go in. A folder that cannot be examined counts as another file system.
[[nodiscard]] bool isOtherFileSystem(int fd, dev_t device);

// Whether the folder `name` inside the open folder `parentFd` is a mount point (or lies on
// another device); false for anything that is not a folder.
[[nodiscard]] bool isMountPointAt(int parentFd, const char* name);

// Opens a folder for walking without following a link at its last component.
[[nodiscard]] int openFolder(int parentFd, const char* name);

// How many ancestors of the current folder stay open at most.
inline constexpr std::size_t openAncestorLimit = 24;

} // namespace TreeWalker
