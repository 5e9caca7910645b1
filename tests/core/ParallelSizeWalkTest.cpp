#include "core/ParallelSizeWalk.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

std::int64_t sumBelow(const fs::path& folder, unsigned threads) {
    UniqueFd fd(TreeWalker::openFolder(AT_FDCWD, folder.c_str()));
    struct stat status {};
    if (!fd.valid() || fstat(fd.get(), &status) != 0)
        return -1;
    return ParallelSizeWalk::sumBelow(fd.get(), status.st_dev, threads);
}

long openDescriptors() {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
}

// When no helper thread can start (the user's process limit is reached), the walk measures
// the subtrees it meant to share by itself: the same sum, no exception, no descriptor left.
TEST(ParallelSizeWalkTest, WithoutThreadsItWalksAloneAndLeaksNoDescriptor) {
    const TempTree tree;
    for (int folder = 0; folder < 50; ++folder)
        for (int file = 0; file < 60; ++file)
            (void)tree.file("big/" + std::to_string(folder) + "/" + std::to_string(file));
    giveToNobody(tree.root());
    const std::int64_t expected = sumBelow(tree / "big", 1);
    ASSERT_GT(expected, 0);

    const int status = runAsNobody([&] {
        const rlimit oneProcess{1, 1};
        if (setrlimit(RLIMIT_NPROC, &oneProcess) != 0)
            return 2;
        const long before = openDescriptors();
        try {
            const bool same = sumBelow(tree / "big", 4) == expected;
            return same && openDescriptors() == before ? 0 : 3;
        } catch (...) {
            return 4;
        }
    });
    EXPECT_EQ(status, 0);
}

} // namespace
