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
#include <thread>

namespace fs = std::filesystem;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

namespace {

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

int removeInside(const fs::path& folder, const TreeRemover::Selection& selection = {}) {
    UniqueFd fd(TreeWalker::openFolder(AT_FDCWD, folder.c_str()));
    if (!fd.valid())
        return -1;
    return TreeRemover::removeEntries(fd.get(), selection);
}

// A folder outside the tree that a removal must never reach.
struct Canary {
    fs::path folder;
    explicit Canary(const TempTree& tree) : folder(tree.folder("canary")) {
        tree.file("canary/precious", 100);
        tree.file("canary/sub/precious", 100);
    }
    [[nodiscard]] bool intact() const {
        return fs::exists(folder / "precious") && fs::exists(folder / "sub/precious");
    }
};

TEST(TreeRemover, RemovesLinksAsLinksAndNeverFollowsThem) {
    TempTree tree;
    Canary canary(tree);
    tree.file("doomed/a/file", 3000);
    tree.link("doomed/a/to-folder", canary.folder);
    tree.link("doomed/to-file", canary.folder / "precious");
    tree.link("doomed/dangling", tree / "nowhere");
    mkfifo((tree / "doomed/a/fifo").c_str(), 0600);
    fs::create_hard_link(canary.folder / "precious", tree / "doomed/hard-link");
    EXPECT_EQ(removeInside(tree / "doomed"), 0);
    EXPECT_THAT(namesIn(tree / "doomed"), IsEmpty());
    EXPECT_TRUE(canary.intact());
}

TEST(TreeRemover, RemovesNamesThatAreNotText) {
    TempTree tree;
    for (const std::string name : {"line\nbreak", "caf\xe9", "\xff\xfe", " leading", "-rf", "*"}) {
        tree.file(fs::path("doomed") / name / name, 10);
        tree.file(fs::path("doomed") / (name + ".file"), 10);
    }
    EXPECT_EQ(removeInside(tree / "doomed"), 0);
    EXPECT_THAT(namesIn(tree / "doomed"), IsEmpty());
}

TEST(TreeRemover, RemovesOnlyTheSelectedEntriesAndCountsEachOnce) {
    TempTree tree;
    tree.file("root/chosen/a/b/c", 10);
    tree.file("root/chosen-file", 10);
    tree.file("root/other/keep", 10);
    TreeRemover::Selection selection;
    selection.names = {"chosen", "chosen-file", "vanished"};
    EXPECT_EQ(removeInside(tree / "root", selection), 0);
    EXPECT_THAT(namesIn(tree / "root"), UnorderedElementsAre("other"));
}

// Ancestors beyond the open-descriptor limit are closed and re-opened at their old listing
// position while the folders below are being emptied; nothing may be missed on the way back.
TEST(TreeRemover, EmptiesWideFoldersFarBelowTheOpenAncestors) {
    TempTree tree;
    fs::path level = tree.folder("root");
    for (int depth = 0; depth < int(TreeWalker::openAncestorLimit) * 2; ++depth) {
        for (int i = 0; i < 40; ++i)
            tree.file(level / ("file-" + std::to_string(i)), 1);
        level /= "sub-" + std::to_string(depth % 7);
        tree.folder(level);
        tree.file(level.parent_path() / "z-after" / "x", 1);
    }
    EXPECT_EQ(removeInside(tree / "root"), 0);
    EXPECT_THAT(namesIn(tree / "root"), IsEmpty());
}

TEST(TreeRemover, RemovesTenThousandLevelsWithFewDescriptors) {
    TempTree tree;
    const auto deep = tree.folder("deep");
    giveToNobody(deep);
    const int status = runAsNobody([&] {
        const rlimit limit{256, 256};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
            return 3;
        // Built through descriptors: the full path is far longer than PATH_MAX.
        UniqueFd current(TreeWalker::openFolder(AT_FDCWD, deep.c_str()));
        for (int level = 0; level < 10'000; ++level) {
            if (mkdirat(current.get(), "d", 0755) != 0)
                return 4;
            current = UniqueFd(TreeWalker::openFolder(current.get(), "d"));
        }
        close(openat(current.get(), "leaf", O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        current.reset();
        if (removeInside(deep) != 0)
            return 1;
        return fs::is_empty(deep) ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
}

TEST(TreeRemover, LeavesWhatItMayNotRemoveAndCountsEachTopLevelEntryOnce) {
    if (!runningAsRoot())
        GTEST_SKIP() << "needs root for fixtures owned by another user";
    TempTree tree;
    tree.file("root/plain/deep/file", 10);
    tree.file("root/read-only/a", 10);
    tree.file("root/read-only/b", 10);
    tree.file("root/nested/fine", 10);
    tree.file("root/nested/locked/x", 10);
    tree.file("root/nested/roots/y", 10);
    tree.file("root/theirs/z", 10);
    tree.file("root/top-file", 10);
    giveToNobody(tree / "root");
    for (const auto* owned : {"root/nested/roots", "root/theirs"}) {
        lchown((tree / owned).c_str(), 0, 0);
        for (const auto& entry : fs::recursive_directory_iterator(tree / owned))
            lchown(entry.path().c_str(), 0, 0);
    }
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec;
    fs::permissions(tree / "root/read-only", readOnly);
    fs::permissions(tree / "root/nested/locked", readOnly);

    const int status = runAsNobody([&] { return removeInside(tree / "root"); });
    EXPECT_EQ(status, 3) << "read-only, nested and theirs";
    EXPECT_THAT(namesIn(tree / "root"), UnorderedElementsAre("read-only", "nested", "theirs"));
    EXPECT_THAT(namesIn(tree / "root/read-only"), UnorderedElementsAre("a", "b"));
    EXPECT_THAT(namesIn(tree / "root/nested"), UnorderedElementsAre("locked", "roots"));
    EXPECT_TRUE(fs::exists(tree / "root/theirs/z"));
}

TEST(TreeRemover, SkipsAndCountsSelectedEntriesOfAnotherOwner) {
    if (!runningAsRoot())
        GTEST_SKIP() << "needs root for fixtures owned by another user";
    TempTree tree;
    tree.file("root/mine/file", 10);
    tree.file("root/theirs/file", 10);
    giveToNobody(tree / "root/theirs");
    TreeRemover::Selection selection;
    selection.names = {"mine", "theirs"};
    selection.owner = geteuid();
    EXPECT_EQ(removeInside(tree / "root", selection), 1);
    EXPECT_THAT(namesIn(tree / "root"), UnorderedElementsAre("theirs"));
}

TEST(TreeRemover, RemoveFolderTakesOnlyARealFolder) {
    TempTree tree;
    Canary canary(tree);
    tree.file("p/node_modules/x/y", 10);
    tree.link("p/linked", canary.folder);
    tree.file("p/plain", 10);
    UniqueFd parent(TreeWalker::openFolder(AT_FDCWD, (tree / "p").c_str()));
    EXPECT_TRUE(TreeRemover::removeFolder(parent.get(), "node_modules"));
    EXPECT_FALSE(TreeRemover::removeFolder(parent.get(), "linked"));
    EXPECT_FALSE(TreeRemover::removeFolder(parent.get(), "plain"));
    EXPECT_TRUE(TreeRemover::removeFolder(parent.get(), "missing"));
    EXPECT_THAT(namesIn(tree / "p"), UnorderedElementsAre("linked", "plain"));
    EXPECT_TRUE(canary.intact());
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
            int i = 0;
            while (!done) {
                const fs::path victim = root / "x" / std::to_string(i % folders);
                const fs::path moved = root / ("moved-" + std::to_string(i));
                if (rename(victim.c_str(), moved.c_str()) == 0)
                    (void)symlink(canary.folder.c_str(), victim.c_str());
                const fs::path deeper = root / "x" / std::to_string((i + 7) % folders) / "deeper";
                if (rename(deeper.c_str(), (root / ("deeper-" + std::to_string(i))).c_str()) == 0)
                    (void)symlink(canary.folder.c_str(), deeper.c_str());
                ++i;
            }
        });
        (void)removeInside(root);
        done = true;
        attacker.join();
        ASSERT_TRUE(canary.intact()) << "round " << round;
    }
}

class MountInsideTree : public ::testing::Test {
protected:
    void SetUp() override {
        if (!runningAsRoot())
            GTEST_SKIP() << "mounting needs root";
        mountPoint_ = tree_.folder("root/sub/mounted");
        if (mount("tmpfs", mountPoint_.c_str(), "tmpfs", 0, "size=1m") != 0)
            GTEST_SKIP() << "tmpfs cannot be mounted here";
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_)
            umount2(mountPoint_.c_str(), MNT_DETACH);
    }
    TempTree tree_;
    fs::path mountPoint_;
    bool mounted_ = false;
};

TEST_F(MountInsideTree, IsNeitherEnteredNorRemovedAndCounted) {
    tree_.file("root/sub/mounted/on-the-other-disk", 10);
    tree_.file("root/sub/beside", 10);
    tree_.file("root/other/file", 10);
    EXPECT_EQ(removeInside(tree_ / "root"), 1);
    EXPECT_TRUE(fs::exists(mountPoint_ / "on-the-other-disk"));
    EXPECT_THAT(namesIn(tree_ / "root"), UnorderedElementsAre("sub"));
    EXPECT_THAT(namesIn(tree_ / "root/sub"), UnorderedElementsAre("mounted"));
}

} // namespace
