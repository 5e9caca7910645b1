#include "core/CleanerMeasurement.h"
#include "core/ParallelSizeWalk.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"
#include "support/TempTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

namespace {

// An independent oracle: st_blocks × 512 of every regular file, counted once per link.
std::int64_t oracleSize(const fs::path& root) {
    std::int64_t total = 0;
    struct stat status {};
    if (lstat(root.c_str(), &status) == 0 && S_ISREG(status.st_mode))
        return status.st_blocks * 512;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        if (lstat(it->path().c_str(), &status) == 0 && S_ISREG(status.st_mode))
            total += status.st_blocks * 512;
    }
    return total;
}

TEST(AllocatedSize, AgreesWithTheOracleOnAMixedTree) {
    TempTree tree;
    tree.file("a/one", 1);
    tree.file("a/b/big", 100'000);
    tree.file("a/.hidden/file", 5000);
    tree.folder("a/empty");
    tree.link("a/link-to-file", tree / "a/one");
    fs::create_hard_link(tree / "a/b/big", tree / "a/b/big-again");
    mkfifo((tree / "a/fifo").c_str(), 0600);
    const auto expected = oracleSize(tree / "a");
    EXPECT_EQ(Cleaner::allocatedSize(tree / "a"), expected);
    EXPECT_GE(expected, 2 * 100'000);
}

TEST(AllocatedSize, CountsBlocksNotLength) {
    TempTree tree;
    const auto file = tree.file("tiny", 1);
    struct stat status {};
    ASSERT_EQ(stat(file.c_str(), &status), 0);
    EXPECT_EQ(Cleaner::allocatedSize(file), status.st_blocks * 512);
    EXPECT_GE(Cleaner::allocatedSize(file), 512);
}

TEST(AllocatedSize, LinksMissingRootsAndEmptyFoldersCountNothing) {
    TempTree tree;
    tree.file("big/data", 1'000'000);
    const auto link = tree.link("link", tree / "big");
    EXPECT_EQ(Cleaner::allocatedSize(link), 0);
    EXPECT_EQ(Cleaner::allocatedSize(tree / "missing"), 0);
    EXPECT_EQ(Cleaner::allocatedSize(tree.folder("empty")), 0);
}

TEST(AllocatedSize, HandlesNamesThatAreNotUtf8) {
    TempTree tree;
    const fs::path odd = tree / std::string("caf\xe9\xff name\nline");
    fs::create_directories(odd);
    tree.file(odd / std::string("\x80\x81"), 3000);
    EXPECT_EQ(Cleaner::allocatedSize(tree.root()), oracleSize(tree.root()));
    EXPECT_GT(Cleaner::allocatedSize(tree.root()), 0);
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
    const int status =
        runAsNobody([&] { return Cleaner::allocatedSize(tree / "root") == readable ? 0 : 1; });
    EXPECT_EQ(status, 0);
}

TEST(AllocatedSize, SharedBetweenThreadsEqualsOneThread) {
    TempTree tree;
    for (int folder = 0; folder < 60; ++folder) {
        for (int file = 0; file < 80; ++file)
            tree.file("root/d" + std::to_string(folder) + "/s/f" + std::to_string(file),
                      std::size_t(folder * 97 + file * 13));
    }
    UniqueFd fd(TreeWalker::openFolder(AT_FDCWD, (tree / "root").c_str()));
    struct stat status {};
    ASSERT_EQ(fstat(fd.get(), &status), 0);
    const auto single = ParallelSizeWalk::sumBelow(fd.get(), status.st_dev, 1);
    EXPECT_EQ(single, oracleSize(tree / "root"));
    for (int round = 0; round < 5; ++round)
        EXPECT_EQ(ParallelSizeWalk::sumBelow(fd.get(), status.st_dev, 4), single);

    // Several roots on one queue: each gets its own sum, whatever thread walked which part.
    const std::vector<fs::path> paths{tree / "root/d1", tree / "missing", tree / "root",
                                      tree / "root/d7/s/f3", tree / "root/d59"};
    std::vector<std::int64_t> oneByOne;
    for (const auto& path : paths)
        oneByOne.push_back(Cleaner::allocatedSize(path));
    for (int round = 0; round < 5; ++round)
        EXPECT_EQ(Cleaner::allocatedSizes(paths), oneByOne);
    CleanupItem twoRoots;
    twoRoots.sizeRoots = {tree / "root/d1", tree / "root/d2"};
    CleanupItem file;
    file.sizeRoots = {tree / "root/d7/s/f3"};
    EXPECT_EQ(Cleaner::measureAll({twoRoots, file, CleanupItem{}}, FileTime::clock::now()),
              (std::vector<std::int64_t>{Cleaner::measure(twoRoots), Cleaner::measure(file), 0}));
}

TEST(AllocatedSize, WalksTenThousandLevelsWithFewDescriptors) {
    TempTree tree;
    // Built through descriptors: the full path is far longer than PATH_MAX.
    UniqueFd current(TreeWalker::openFolder(AT_FDCWD, tree.root().c_str()));
    for (int level = 0; level < 10'000; ++level) {
        ASSERT_EQ(mkdirat(current.get(), "d", 0755), 0);
        current = UniqueFd(TreeWalker::openFolder(current.get(), "d"));
        ASSERT_TRUE(current.valid());
    }
    const int fd = openat(current.get(), "leaf", O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_EQ(write(fd, "x", 1), 1);
    struct stat leaf {};
    fstat(fd, &leaf);
    close(fd);
    current.reset();

    const int status = runAsNobody([&] {
        const rlimit limit{256, 256};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
            return 3;
        const auto bytes = Cleaner::allocatedSize(tree.root());
        const auto newest = Cleaner::lastTouched(tree.root());
        return bytes == leaf.st_blocks * 512 && newest > distantPast ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

} // namespace
