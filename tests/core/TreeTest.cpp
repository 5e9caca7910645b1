// Walking trees through descriptors: measuring them and removing them, never through a link
// or across a mount point.
#include "core/CleanerMeasurement.h"
#include "core/ParallelSizeWalk.h"
#include "core/SaturatingAdd.h"
#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"
#include "support/TempTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

namespace fs = std::filesystem;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

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

int removeInside(const fs::path& folder, const TreeRemover::Selection& selection = {}) {
    UniqueFd fd(TreeWalker::openFolder(AT_FDCWD, folder.c_str()));
    return fd.valid() ? TreeRemover::removeEntries(fd.get(), selection) : -1;
}

// A folder outside the tree that a removal must never reach.
struct Canary {
    fs::path folder;
    explicit Canary(const TempTree& tree) : folder(tree.folder("canary")) {
        tree.file("canary/sub/precious", 100);
    }
    [[nodiscard]] bool intact() const { return fs::exists(folder / "sub/precious"); }
};

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
    struct stat status {};
    ASSERT_EQ(stat(tiny.c_str(), &status), 0);
    EXPECT_EQ(Cleaner::allocatedSize(tiny), status.st_blocks * 512);

    const auto link = tree.link("link", tiny);
    EXPECT_EQ(Cleaner::allocatedSize(link), 0);
    EXPECT_EQ(Cleaner::allocatedSizes({link, tiny}),
              (std::vector<std::int64_t>{0, 512 * status.st_blocks}));
    EXPECT_EQ(Cleaner::allocatedSize(tree / "missing"), 0);
    const volatile std::int64_t hugeBlockCount = std::numeric_limits<std::int64_t>::max() / 256;
    EXPECT_EQ(allocatedBytes(hugeBlockCount), std::numeric_limits<std::int64_t>::max());
    // A volume's figures: 2^51 blocks of 4 KiB fit 64 unsigned bits but not a byte count.
    EXPECT_EQ(saturatingBytes(1ULL << 51, 4096), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(saturatingBytes(10, 4096), 40960);
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

// As a user without permissions, an unreadable folder is skipped. When no helper thread can
// start (the user's process limit is reached), the walk measures the subtrees it meant to share
// by itself: the same sum, no exception, no descriptor left.
TEST(AllocatedSize, SkipsAnUnreadableFolderAndWalksAloneWithoutThreads) {
    const TempTree tree;
    for (int folder = 0; folder < 50; ++folder)
        for (int file = 0; file < 60; ++file)
            tree.file("big/" + std::to_string(folder) + "/" + std::to_string(file), 100);
    tree.file("big/locked/secret", 10'000);
    giveToNobody(tree.root());
    fs::permissions(tree / "big/locked", fs::perms::none);
    const std::int64_t readable =
        Cleaner::allocatedSize(tree / "big") - Cleaner::allocatedSize(tree / "big/locked");
    const int status = runAsNobody([&] {
        if (Cleaner::allocatedSize(tree / "big") != readable)
            return 1;
        const rlimit oneProcess{1, 1};
        if (setrlimit(RLIMIT_NPROC, &oneProcess) != 0)
            return 2;
        const auto before = openDescriptors();
        try {
            return sumBelow(tree / "big", 4) == readable && openDescriptors() == before ? 0 : 3;
        } catch (...) {
            return 4;
        }
    });
    EXPECT_EQ(status, 0);
}

// Records what a walk reports; the first entry's visit removes the files listed beside it.
struct Recorder : TreeWalker::Visitor {
    std::function<void()> afterFirstEntry;
    std::vector<std::string> visited;

    bool wantsStat(const TreeWalker::Entry&) override { return true; }
    bool visit(const TreeWalker::Entry& entry, const struct stat*) override {
        visited.emplace_back(entry.name);
        if (afterFirstEntry)
            std::exchange(afterFirstEntry, nullptr)();
        return true;
    }
};

// An entry gone between the listing and its lookup is not reported.
TEST(TreeWalker, ReportsNoEntryThatVanishedSinceTheListing) {
    TempTree tree;
    for (const char* name : {"a", "b", "c"})
        tree.file(name);
    Recorder recorder;
    recorder.afterFirstEntry = [&] {
        for (const char* name : {"a", "b", "c"})
            fs::remove(tree / name);
    };
    UniqueFd folder(TreeWalker::openFolder(AT_FDCWD, tree.root().c_str()));
    struct stat status {};
    ASSERT_EQ(fstat(folder.get(), &status), 0);
    TreeWalker::walk(folder.get(), recorder, 0, status.st_dev);
    EXPECT_EQ(recorder.visited.size(), 1u);
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
        return removeInside(deep) == 0 && fs::is_empty(deep) ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
}

TEST(TreeRemover, RemovesOnlyTheSelectedEntriesOfTheOwnerAndCountsTheRest) {
    if (!runningAsRoot())
        GTEST_SKIP() << "needs root for fixtures owned by another user";
    TempTree tree;
    tree.file("root/chosen/a/b/c", 10);
    tree.file("root/chosen-file", 10);
    tree.file("root/other/keep", 10);
    tree.file("root/theirs/file", 10);
    giveToNobody(tree / "root/theirs");
    TreeRemover::Selection selection;
    selection.names = {"chosen", "chosen-file", "vanished", "theirs"};
    selection.owner = geteuid();
    EXPECT_EQ(removeInside(tree / "root", selection), 1);
    EXPECT_THAT(namesIn(tree / "root"), UnorderedElementsAre("other", "theirs"));
}

// Links go as links, names need not be text. Ancestors beyond the open-descriptor limit are
// closed and re-opened at their old listing position while the folders below are being
// emptied; nothing may be missed on the way back.
TEST(TreeRemover, EmptiesEverythingWithoutFollowingLinksAndMissesNothingFarBelow) {
    TempTree tree;
    Canary canary(tree);
    tree.file("root/a/b/file", 10);
    tree.link("root/to-folder", canary.folder);
    tree.link("root/to-file", canary.folder / "sub/precious");
    tree.link("root/dangling", tree / "nowhere");
    mkfifo((tree / "root/fifo").c_str(), 0600);
    fs::create_hard_link(canary.folder / "sub/precious", tree / "root/hard-link");
    for (const std::string name : {"line\nbreak", "caf\xe9", "\xff\xfe", " leading", "-rf", "*"}) {
        tree.file(fs::path("root") / name / name, 10);
        tree.file(fs::path("root") / (name + ".file"), 10);
    }
    fs::path level = tree / "root";
    for (int depth = 0; depth < int(TreeWalker::openAncestorLimit) * 2; ++depth) {
        for (int i = 0; i < 40; ++i)
            tree.file(level / ("file-" + std::to_string(i)), 1);
        level /= "sub-" + std::to_string(depth % 7);
        tree.folder(level);
        tree.file(level.parent_path() / "z-after" / "x", 1);
    }
    // One folder is taken whole, but only a real folder.
    UniqueFd root(TreeWalker::openFolder(AT_FDCWD, (tree / "root").c_str()));
    EXPECT_TRUE(TreeRemover::removeFolder(root.get(), "a"));
    EXPECT_FALSE(TreeRemover::removeFolder(root.get(), "to-folder"));
    EXPECT_FALSE(TreeRemover::removeFolder(root.get(), "fifo"));
    EXPECT_TRUE(TreeRemover::removeFolder(root.get(), "missing"));
    EXPECT_TRUE(fs::is_symlink(tree / "root/to-folder"));
    EXPECT_FALSE(fs::exists(tree / "root/a"));
    EXPECT_EQ(removeInside(tree / "root"), 0);
    EXPECT_THAT(namesIn(tree / "root"), IsEmpty());
    EXPECT_TRUE(canary.intact());
}

// The root is shared like /tmp (sticky, writable by all), so a file of another user in it
// cannot be unlinked. Entries left alone lie between removable ones, so a count that stuck
// after one of them would show.
TEST(TreeRemover, LeavesWhatItMayNotRemoveAndCountsEachTopLevelEntryOnce) {
    if (!runningAsRoot())
        GTEST_SKIP() << "needs root for fixtures owned by another user";
    TempTree tree;
    for (const auto* file :
         {"plain/deep/file", "read-only/a", "read-only/b", "nested/fine", "nested/locked/x",
          "nested/roots/y", "theirs/z", "top-file", "their-file"})
        tree.file(fs::path("root") / file, 10);
    for (int i = 0; i < 16; ++i)
        tree.file("root/" + std::string(i % 2 ? "ok-" : "kept-") + std::to_string(i) + "/x", 10);
    giveToNobody(tree / "root");
    for (const auto* owned : {"root", "root/their-file", "root/nested/roots", "root/nested/roots/y",
                              "root/theirs", "root/theirs/z"})
        lchown((tree / owned).c_str(), 0, 0);
    fs::permissions(tree / "root", fs::perms::all | fs::perms::sticky_bit);
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec;
    for (int i = 0; i < 16; i += 2)
        fs::permissions(tree / ("root/kept-" + std::to_string(i)), readOnly);
    fs::permissions(tree / "root/read-only", readOnly);
    fs::permissions(tree / "root/nested/locked", readOnly);

    EXPECT_EQ(runAsNobody([&] { return removeInside(tree / "root"); }), 4 + 8);
    EXPECT_EQ(namesIn(tree / "root").size(), 4u + 8u);
    EXPECT_THAT(namesIn(tree / "root/read-only"), UnorderedElementsAre("a", "b"));
    EXPECT_THAT(namesIn(tree / "root/nested"), UnorderedElementsAre("locked", "roots"));
    EXPECT_TRUE(fs::exists(tree / "root/theirs/z"));
    EXPECT_TRUE(fs::exists(tree / "root/their-file"));
}

// In the style of the remove_dir_all race tests: while the removal runs, another thread keeps
// swapping folders inside the tree for symbolic links to a canary outside it.
TEST(TreeRemover, ARacingSwapToASymbolicLinkNeverReachesOutside) {
    TempTree tree;
    Canary canary(tree);
    constexpr int folders = 20;
    for (int round = 0; round < 40; ++round) {
        const fs::path root = tree / ("round-" + std::to_string(round));
        for (int i = 0; i < folders; ++i)
            for (int j = 0; j < 30; ++j)
                tree.file(root / "x" / std::to_string(i) / "deeper" / std::to_string(j), 1);
        std::atomic<bool> done = false;
        std::thread attacker([&] {
            for (int i = 0; !done; ++i) {
                const auto swap = [&](const fs::path& victim, const std::string& movedName) {
                    if (rename(victim.c_str(), (root / movedName).c_str()) == 0)
                        (void)symlink(canary.folder.c_str(), victim.c_str());
                };
                swap(root / "x" / std::to_string(i % folders), "moved-" + std::to_string(i));
                swap(root / "x" / std::to_string((i + 7) % folders) / "deeper",
                     "deeper-" + std::to_string(i));
            }
        });
        (void)removeInside(root);
        done = true;
        attacker.join();
        ASSERT_TRUE(canary.intact()) << "round " << round;
    }
}

// A mount of another file system and a bind mount of a folder of this one.
TEST(TreeRemover, MountPointsInsideAreNeitherEnteredNorRemovedAndCounted) {
    TempTree tree;
    const auto mounted = tree.folder("root/sub/mounted");
    const auto bound = tree.folder("root/bound");
    tree.file("elsewhere/precious", 10);
    if (mount("tmpfs", mounted.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    const bool bindMounted =
        mount((tree / "elsewhere").c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) == 0;
    tree.file("root/sub/mounted/on-the-other-disk", 10);
    tree.file("root/sub/beside", 10);
    tree.file("root/other/file", 10);
    EXPECT_EQ(removeInside(tree / "root"), 2);
    UniqueFd sub(TreeWalker::openFolder(AT_FDCWD, (tree / "root/sub").c_str()));
    EXPECT_FALSE(TreeRemover::removeFolder(sub.get(), "mounted"));
    EXPECT_TRUE(fs::exists(mounted / "on-the-other-disk"));
    umount2(mounted.c_str(), MNT_DETACH);
    umount2(bound.c_str(), MNT_DETACH);
    ASSERT_TRUE(bindMounted);
    EXPECT_THAT(namesIn(tree / "root"), UnorderedElementsAre("sub", "bound"));
    EXPECT_THAT(namesIn(tree / "root/sub"), UnorderedElementsAre("mounted"));
    EXPECT_TRUE(fs::exists(tree / "elsewhere/precious"));
}

} // namespace
