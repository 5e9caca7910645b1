#pragma once

#include "core/CleanupItem.h"
#include "core/FileTime.h"

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace Cleaner {

// The bytes that cleaning the item would free, measured now.
[[nodiscard]] std::int64_t measure(const CleanupItem& item,
                                   FileTime now = std::chrono::system_clock::now());

// measure() for every item, all at once: the folders of every item share one work queue, so
// the threads that finish the small caches go on with the large ones. Never throws.
[[nodiscard]] std::vector<std::int64_t> measureAll(const std::vector<CleanupItem>& items,
                                                   FileTime now);

// allocatedSize() of each path, all at once on one shared work queue.
[[nodiscard]] std::vector<std::int64_t>
allocatedSizes(const std::vector<std::filesystem::path>& paths);

// Allocated bytes of a file or a whole folder tree: every regular file counts its blocks, once
// per link; links, folders and mount points below the root add nothing. Missing: 0.
[[nodiscard]] std::int64_t allocatedSize(const std::filesystem::path& path);

// The entries directly inside `folder` whose whole tree was last modified before `cutoff`,
// in listing order. An unreadable folder has none.
[[nodiscard]] std::vector<std::filesystem::path>
untouchedEntries(const std::filesystem::path& folder, FileTime cutoff);

// The age rule's entries for a folder in a place other users can write to (the scratch folder):
// only when the effective user owns `folder` itself, and only the entries the user owns.
[[nodiscard]] std::vector<std::filesystem::path>
untouchedEntriesOwnedByUser(const std::filesystem::path& folder, FileTime cutoff);

// The same for the open folder `folderFd` (which stays the caller's) and the user `owner`: the
// entries' names, in listing order.
[[nodiscard]] std::vector<std::string> untouchedNamesOwnedBy(int folderFd, FileTime cutoff,
                                                             uid_t owner);

// The newest modification date in the tree rooted at `path`; distantPast when unreadable.
[[nodiscard]] FileTime lastTouched(const std::filesystem::path& path);

// The same, for the entry `name` inside the open folder `parentFd`.
[[nodiscard]] FileTime lastTouchedAt(int parentFd, const char* name);

} // namespace Cleaner
