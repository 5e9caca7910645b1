#include "core/CleanerMeasurement.h"
#include "core/ParallelSizeWalk.h"
#include "core/SaturatingAdd.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// An independent oracle: st_blocks × 512 of every regular file, counted once per link.
std::int64_t oracleSize(const fs::path& root) {
    std::int64_t total = 0;
    struct stat status {};
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it)
        if (lstat(it->path().c_str(), &status) == 0 && S_ISREG(status.st_mode))
            total += status.st_blocks * 512;
    return total;
}

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

TEST(AllocatedSize, CountsTheBlocksOfEveryFileOnceAndNothingThroughLinks) {
    TempTree tree;
    const auto tiny = tree.file("a/one", 1);
    tree.file("a/b/big", 100'000);
    tree.file(fs::path("a") / std::string("caf\xe9\xff name\nline") / "\x80\x81", 5000);
    tree.folder("a/empty");
    tree.link("a/link-to-file", tree / "a/one");
    fs::create_hard_link(tree / "a/b/big", tree / "a/b/big-again");
    mkfifo((tree / "a/fifo").c_str(), 0600);
    EXPECT_EQ(Cleaner::allocatedSize(tree / "a"), oracleSize(tree / "a"));
    EXPECT_GE(Cleaner::allocatedSize(tree / "a"), 100'000 + 5000);
    struct stat status {};
    ASSERT_EQ(stat(tiny.c_str(), &status), 0);
    EXPECT_EQ(Cleaner::allocatedSize(tiny), status.st_blocks * 512);
    EXPECT_GE(Cleaner::allocatedSize(tiny), 512);

    const auto link = tree.link("link", tiny);
    EXPECT_EQ(Cleaner::allocatedSize(link), 0);
    EXPECT_EQ(Cleaner::allocatedSizes({link, tiny}),
              (std::vector<std::int64_t>{0, 512 * status.st_blocks}));
    EXPECT_EQ(Cleaner::allocatedSize(tree / "missing"), 0);
    EXPECT_EQ(Cleaner::allocatedSize(tree / "a/empty"), 0);
    const volatile std::int64_t hugeBlockCount = std::numeric_limits<std::int64_t>::max() / 256;
    EXPECT_EQ(allocatedBytes(hugeBlockCount), std::numeric_limits<std::int64_t>::max());
}

TEST(AllocatedSize, SkipsAnUnreadableFolderAndGoesOn) {
    TempTree tree;
    tree.file("root/readable/file", 10'000);
    tree.file("root/locked/secret", 10'000);
    tree.file("root/z-after", 10'000);
    giveToNobody(tree.root());
    fs::permissions(tree / "root/locked", fs::perms::none);
    const std::int64_t readable = Cleaner::allocatedSize(tree / "root/readable") +
                                  Cleaner::allocatedSize(tree / "root/z-after");
    EXPECT_EQ(
        runAsNobody([&] { return Cleaner::allocatedSize(tree / "root") == readable ? 0 : 1; }), 0);
}

TEST(AllocatedSize, SharedBetweenThreadsEqualsOneThreadAndEachRootGetsItsOwnSum) {
    TempTree tree;
    for (int folder = 0; folder < 60; ++folder)
        for (int file = 0; file < 80; ++file)
            tree.file("root/d" + std::to_string(folder) + "/s/f" + std::to_string(file),
                      std::size_t(folder * 97 + file * 13));
    const auto single = sumBelow(tree / "root", 1);
    EXPECT_EQ(single, oracleSize(tree / "root"));
    for (int round = 0; round < 5; ++round)
        EXPECT_EQ(sumBelow(tree / "root", 4), single);

    const std::vector<fs::path> paths{tree / "root/d1", tree / "missing", tree / "root",
                                      tree / "root/d7/s/f3", tree / "root/d59"};
    std::vector<std::int64_t> oneByOne;
    for (const auto& path : paths)
        oneByOne.push_back(Cleaner::allocatedSize(path));
    for (int round = 0; round < 5; ++round)
        EXPECT_EQ(Cleaner::allocatedSizes(paths), oneByOne);
    CleanupItem twoRoots;
    twoRoots.sizeRoots = {tree / "root/d1", tree / "root/d2"};
    EXPECT_EQ(
        Cleaner::measureAll({twoRoots, CleanupItem{}}, FileTime::clock::now()),
        (std::vector<std::int64_t>{oneByOne[0] + Cleaner::allocatedSize(tree / "root/d2"), 0}));
}

// When no helper thread can start (the user's process limit is reached), the walk measures
// the subtrees it meant to share by itself: the same sum, no exception, no descriptor left.
TEST(AllocatedSize, WithoutThreadsItWalksAloneAndLeaksNoDescriptor) {
    const TempTree tree;
    for (int folder = 0; folder < 50; ++folder)
        for (int file = 0; file < 60; ++file)
            tree.file("big/" + std::to_string(folder) + "/" + std::to_string(file));
    giveToNobody(tree.root());
    const std::int64_t expected = sumBelow(tree / "big", 1);
    const int status = runAsNobody([&] {
        const rlimit oneProcess{1, 1};
        if (setrlimit(RLIMIT_NPROC, &oneProcess) != 0)
            return 2;
        const long before = openDescriptors();
        try {
            return sumBelow(tree / "big", 4) == expected && openDescriptors() == before ? 0 : 3;
        } catch (...) {
            return 4;
        }
    });
    EXPECT_EQ(status, 0);
}

// Built through descriptors: the full path is far longer than PATH_MAX, and the walks may hold
// only a few descriptors open.
TEST(DeepTree, TenThousandLevelsAreMeasuredAndRemovedWithFewDescriptors) {
    TempTree tree;
    const auto deep = tree.folder("deep");
    giveToNobody(deep);
    const int status = runAsNobody([&] {
        const rlimit limit{256, 256};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
            return 3;
        UniqueFd current(TreeWalker::openFolder(AT_FDCWD, deep.c_str()));
        for (int level = 0; level < 10'000; ++level) {
            if (mkdirat(current.get(), "d", 0755) != 0)
                return 4;
            current = UniqueFd(TreeWalker::openFolder(current.get(), "d"));
        }
        const int leaf = openat(current.get(), "leaf", O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        struct stat status {};
        if (write(leaf, "x", 1) != 1 || fstat(leaf, &status) != 0)
            return 5;
        close(leaf);
        current.reset();
        if (Cleaner::allocatedSize(deep) != status.st_blocks * 512 ||
            Cleaner::lastTouched(deep) <= distantPast)
            return 1;
        UniqueFd fd(TreeWalker::openFolder(AT_FDCWD, deep.c_str()));
        return TreeRemover::removeEntries(fd.get()) == 0 && fs::is_empty(deep) ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
}

} // namespace
