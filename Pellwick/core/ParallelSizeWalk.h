#pragma once

#include <sys/types.h>

#include <cstdint>

// Sums the allocated bytes below an open folder, sharing subtrees between threads once the
// tree proves large. Each subtree is walked by exactly one thread, and the sum does not depend
// on the order of addition, so the result equals a single-threaded walk's.
namespace ParallelSizeWalk {

[[nodiscard]] std::int64_t sumBelow(int folderFd, dev_t device, unsigned threads);

// Threads used for one measurement: the machine's cores, at most four.
[[nodiscard]] unsigned defaultThreads();

} // namespace ParallelSizeWalk
