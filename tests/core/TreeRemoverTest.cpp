#include "core/TreeRemover.h"
#include "core/TreeWalker.h"
#include "core/UniqueFd.h"
#include "support/TempTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

namespace {

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

TEST(TreeRemover, RemovesLinksAsLinksAndNamesThatAreNotText) {
    TempTree tree;
    Canary canary(tree);
    tree.file("doomed/a/file", 3000);
    tree.link("doomed/a/to-folder", canary.folder);
    tree.link("doomed/to-file", canary.folder / "sub/precious");
    tree.link("doomed/dangling", tree / "nowhere");
    mkfifo((tree / "doomed/a/fifo").c_str(), 0600);
    fs::create_hard_link(canary.folder / "sub/precious", tree / "doomed/hard-link");
    for (const std::string name : {"line\nbreak", "caf\xe9", "\xff\xfe", " leading", "-rf", "*"}) {
        tree.file(fs::path("doomed") / name / name, 10);
        tree.file(fs::path("doomed") / (name + ".file"), 10);
    }
    EXPECT_EQ(removeInside(tree / "doomed"), 0);
    EXPECT_THAT(namesIn(tree / "doomed"), IsEmpty());
    EXPECT_TRUE(canary.intact());
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
