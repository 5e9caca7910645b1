#pragma once

#include <sys/types.h>

#include <cstdint>
#include <vector>

// Sums the allocated bytes below an open folder, sharing subtrees between threads once the
// tree proves large. Each subtree is walked by exactly one thread, and the sum does not depend
// on the order of addition, so the result equals a single-threaded walk's.
namespace ParallelSizeWalk {

struct Folder {
    int fd;       // open, and stays the caller's
    dev_t device; // the file system the walk stays on
};

// The sums below several folders at once, on one work queue shared by all of them: a large
// folder's subtrees go to threads that finished the small ones.
[[nodiscard]] std::vector<std::int64_t> sumBelowEach(const std::vector<Folder>& folders,
                                                     unsigned threads);

[[nodiscard]] std::int64_t sumBelow(int folderFd, dev_t device, unsigned threads);

// Threads for measuring: more than there are cores, so that while some wait for the disk
// others go on, and the disk always has several reads to serve.
[[nodiscard]] unsigned ioThreads();

} // namespace ParallelSizeWalk
