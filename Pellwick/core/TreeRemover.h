#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <set>
#include <string>

// Removes file trees through open directory descriptors only: every descent is an
// openat(O_NOFOLLOW) below the folder handed in, every removal an unlinkat relative to an open
// parent, so replacing anything inside the tree by a symbolic link can never redirect a
// deletion outside it. Links are removed as links, mount points are neither entered nor
// removed, errors are skipped, and depth is not bounded by descriptors (see TreeWalker).
namespace TreeRemover {

// Which entries directly inside the folder are to go.
struct Selection {
    std::optional<std::set<std::string, std::less<>>> names; // none: every entry
    // When set, a selected entry owned by anyone else is left alone (and counted).
    std::optional<uid_t> owner;
};

// Removes the selected entries directly inside the open folder `folderFd` (which stays, and
// stays the caller's) with everything below them. Returns how many selected entries could not
// be removed completely; an entry that vanished meanwhile counts as removed.
[[nodiscard]] int removeEntries(int folderFd, const Selection& selection = {});

// Removes the entry `name` inside the open folder `parentFd`: a folder with everything in it,
// anything else (a link too) as itself. True when it is gone, or was already.
[[nodiscard]] bool removeEntry(int parentFd, const char* name);

// The same, but only a real folder goes: a link or file in its place is left alone (false), and
// so is a mount point.
[[nodiscard]] bool removeFolder(int parentFd, const char* name);

// The same for a folder the caller already opened (as `folderFd`, which stays the caller's) and
// checked: its contents go through that descriptor, then the emptied `name` inside `parentFd`.
[[nodiscard]] bool removeOpenedFolder(int parentFd, const char* name, int folderFd);

} // namespace TreeRemover
