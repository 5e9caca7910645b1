// Attacks on what Pellwick deletes and runs: folders swapped and moved during a sweep, planted
// repositories, hostile login shells and settings. Each race runs a bounded number of rounds.
#include "core/CleanerGuard.h"
#include "core/CleanerMeasurement.h"
#include "core/ProcessRunner.h"
#include "core/ProjectScanner.h"
#include "support/ProjectTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

void fill(const TempTree& tree, const fs::path& folder, int files) {
    for (int i = 0; i < files; ++i)
        tree.file(folder / ("d" + std::to_string(i % 10)) / ("f" + std::to_string(i)));
}

CleanupItem emptying(const fs::path& root) {
    CleanupItem item;
    item.id = "attacked";
    item.action = CleanupActions::EmptyDirectories{{root}};
    return item;
}

void exchange(const fs::path& a, const fs::path& b) {
    ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE);
}

// The folder above the root and a link to a canary swap places atomically, over and over, while
// the sweep runs: the path never stops existing.
TEST(Adversarial, ALinkSwappedInAboveARootNeverRedirectsTheSweep) {
    TempTree tree;
    const fs::path root = tree / "p/tree";
    const fs::path canary = tree / "canary";
    fill(tree, canary / "tree", 100);
    for (int round = 0; round < 60; ++round) {
        fs::remove_all(tree / "p");
        fs::remove(tree / "link");
        fill(tree, root, 40);
        fs::create_directory_symlink(canary, tree / "link");
        const CleanupItem item = emptying(root);
        const auto measured = Cleaner::measuredRoots(item);
        std::atomic<bool> stop = false;
        std::thread swapper([&] {
            while (!stop)
                exchange(tree / "p", tree / "link");
        });
        const int leftAlone = Cleaner::clean(item, {root.string()}, measured);
        stop = true;
        swapper.join();
        if (fs::is_symlink(tree / "p"))
            exchange(tree / "p", tree / "link");
        ASSERT_EQ(filesBelow(canary), 100u) << "round " << round;
        EXPECT_TRUE(filesBelow(root) == 0 || leftAlone >= 1)
            << "round " << round << ": a root left full was reported as cleaned";
    }
}

// After the move every folder of the moved subtree gets a canary file: one the sweep never saw
// and must never delete. Answers how many were planted, or how many are found.
int canaries(const fs::path& folder, bool plant) {
    int count = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (plant ? it->is_directory(error) && std::ofstream(it->path() / "canary") << "c"
                  : it->path().filename() == "canary")
            ++count;
    }
    return count;
}

TEST(Adversarial, ASubtreeMovedOutDuringTheSweepIsAbandonedAndCounted) {
    TempTree tree;
    const fs::path cache = tree / "cache";
    int movedRounds = 0;
    for (int round = 0; round < 30; ++round) {
        fs::remove_all(cache);
        fs::remove_all(tree / "elsewhere");
        fs::create_directories(tree / "elsewhere");
        for (int package = 0; package < 8; ++package)
            fill(tree, cache / "sub" / ("pkg" + std::to_string(package)), 60);
        const CleanupItem item = emptying(cache);
        const auto measured = Cleaner::measuredRoots(item);
        int planted = -1;
        std::thread mover([&, delay = std::chrono::microseconds(round * 400)] {
            std::this_thread::sleep_for(delay);
            std::error_code error;
            fs::rename(cache / "sub", tree / "elsewhere/sub", error);
            if (!error)
                planted = canaries(tree / "elsewhere/sub", true);
        });
        const int leftAlone = Cleaner::clean(item, {cache.string()}, measured);
        mover.join();
        if (planted < 0)
            continue; // the sweep was faster
        ++movedRounds;
        EXPECT_EQ(canaries(tree / "elsewhere/sub", false), planted) << "round " << round;
        const std::size_t kept = filesBelow(tree / "elsewhere/sub") - std::size_t(planted);
        if (kept > 0 && kept < 8 * 60) {
            EXPECT_GE(leftAlone, 1) << "round " << round << ": abandoned but not counted";
        }
    }
    EXPECT_GT(movedRounds, 0);
}

TEST(Adversarial, ARepositoryCannotMakeTheScanRunItsPrograms) {
    // Lines for .git/config; MARKER stands for a program that leaves a mark, HOOKS for a folder
    // of such hooks.
    const std::pair<std::string, std::string> hooks[] = {
        {"fsmonitor", "[core]\n\tfsmonitor = MARKER\n"},
        {"fsmonitor hook version 2", "[core]\n\tfsmonitor = MARKER\n\tfsmonitorHookVersion = 2\n"},
        {"index-change hook", "[core]\n\thooksPath = HOOKS\n"},
        {"pager", "[core]\n\tpager = MARKER\n[pager]\n\tcheck-ignore = MARKER\n"},
    };
    for (const auto& [name, configuration] : hooks) {
        TempTree tree;
        const fs::path marker = tree / "ran";
        const fs::path program = tree.script("program", "touch '" + marker.string() + "'");
        tree.script("hooks/post-index-change", "touch '" + marker.string() + "'");
        const fs::path repo = tree.folder("repo");
        ASSERT_TRUE(git(repo, "init -q"));
        std::string config = configuration;
        for (const auto& [from, to] :
             {std::pair<std::string, fs::path>{"MARKER", program}, {"HOOKS", tree / "hooks"}})
            for (auto at = config.find(from); at != std::string::npos; at = config.find(from))
                config.replace(at, from.size(), to.string());
        std::ofstream(repo / ".git/config", std::ios::app) << config;
        tree.text("repo/.gitignore", "node_modules\n");
        addProject(tree, "repo/web");
        makeDormant(tree);

        const auto found = ProjectScanner::scan({tree.root()}, FileTime::clock::now(), 60);
        CleanupItem item;
        item.action = CleanupActions::RemoveDirectories{{repo / "web/node_modules"}};
        const int leftAlone = Cleaner::clean(item, {(repo / "web/node_modules").string()},
                                             Cleaner::measuredRoots(item));

        EXPECT_EQ(found.size(), 1u) << name;
        EXPECT_EQ(leftAlone, 0) << name;
        EXPECT_FALSE(fs::exists(repo / "web/node_modules")) << name;
        EXPECT_FALSE(fs::exists(marker)) << name << " ran a program of the repository";
    }
}

TEST(Adversarial, HangingChildrenEndWithinTheirLimits) {
    TempTree tree;
    const fs::path sleeper = tree.script("sleeper", "printf node; exec sleep 60");
    // Echoes the paths it is asked about, as git does for ignored ones, hangs, and ends with
    // success when it is told to stop.
    const fs::path echoing = tree.script("echoing", "trap 'exit 0' TERM; cat; sleep 60 & wait");
    tree.text("repo/.git/HEAD", "ref: refs/heads/main\n");
    addProject(tree, "repo/web");
    makeDormant(tree);

    const auto started = std::chrono::steady_clock::now();
    const auto found =
        ProjectScanner::scan({tree.root()}, FileTime::clock::now(), 60, sleeper, 300ms);
    const auto names = runningProcessNames(sleeper, 300ms);
    const auto echoed =
        ProjectScanner::scan({tree.root()}, FileTime::clock::now(), 60, echoing, 300ms);
    EXPECT_TRUE(found.empty()) << "an unanswered ignore check counts as not ignored";
    EXPECT_TRUE(echoed.empty()) << "an answer cut off at the time limit is no answer";
    EXPECT_EQ(names, ProcessNames{}) << "a partial line is not read";
    EXPECT_LT(std::chrono::steady_clock::now() - started, 8s);
}

TEST(Adversarial, OnlyAbsoluteExistingFoldersAreProjectRoots) {
    TempTree tree;
    addProject(tree, "code/web");
    makeDormant(tree);
    fs::create_directory_symlink(tree / "code", tree / "linked");
    const auto now = FileTime::clock::now();
    const std::string withNul = (tree / "code").string() + std::string(1, '\0') + "x";
    for (const fs::path& root : {fs::path(""), fs::path("."), fs::path("../.."), fs::path("~/code"),
                                 fs::path("code"), tree / "missing", fs::path(withNul)})
        EXPECT_TRUE(ProjectScanner::scan({root}, now, 60).empty()) << root;
    const auto throughLink = ProjectScanner::scan({tree / "linked"}, now, 60);
    ASSERT_EQ(throughLink.size(), 1u) << "a root's own link is followed";
    EXPECT_EQ(throughLink[0].artifactNames(), std::vector<std::string>{"node_modules"});
}

TEST(Adversarial, AMountPointIsNeitherOfferedNorMeasured) {
    TempTree tree;
    tree.file("code/web/package.json");
    tree.folder("code/web/node_modules");
    tree.folder("scratch/mounted");
    tree.file("code/api/package.json"); // its node_modules is a bind mount of this file system
    tree.folder("code/api/node_modules");
    tree.file("elsewhere/index.js", 100000);
    if (::mount("none", (tree / "code/web/node_modules").c_str(), "tmpfs", 0, nullptr) != 0 ||
        ::mount("none", (tree / "scratch/mounted").c_str(), "tmpfs", 0, nullptr) != 0 ||
        ::mount((tree / "elsewhere").c_str(), (tree / "code/api/node_modules").c_str(), nullptr,
                MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "mounting is not permitted here";
    tree.file("code/web/node_modules/index.js", 100000);
    tree.file("scratch/mounted/big", 100000);
    makeDormant(tree);

    const auto found = ProjectScanner::scan({tree / "code"}, FileTime::clock::now(), 60);
    CleanupItem scratch;
    scratch.action = CleanupActions::EmptyOlderThan{{tree / "scratch"}, 7};
    const auto scratchSize = Cleaner::measure(scratch);
    ::umount2((tree / "code/web/node_modules").c_str(), MNT_DETACH);
    ::umount2((tree / "scratch/mounted").c_str(), MNT_DETACH);
    ::umount2((tree / "code/api/node_modules").c_str(), MNT_DETACH);
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(scratchSize, 0);
}

} // namespace
