#include "core/CleanerGuard.h"
#include "core/BuiltInCatalog.h"
#include "core/CleanError.h"
#include "core/CleanerMeasurement.h"
#include "core/ListingError.h"
#include "support/ProjectTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

namespace {

CleanupItem itemWith(CleanupAction action) {
    CleanupItem item;
    item.id = "test";
    item.action = std::move(action);
    return item;
}

CleanupItem emptying(std::vector<fs::path> roots) {
    return itemWith(CleanupActions::EmptyDirectories{std::move(roots)});
}

CleanupItem removing(std::vector<fs::path> roots) {
    return itemWith(CleanupActions::RemoveDirectories{std::move(roots)});
}

CleanupItem emptyingOlderThanAWeek(const fs::path& root) {
    return itemWith(CleanupActions::EmptyOlderThan{{root}, 7});
}

Cleaner::AllowedRoots allow(std::initializer_list<fs::path> paths) {
    Cleaner::AllowedRoots allowed;
    for (const auto& path : paths)
        allowed.insert(path.string());
    return allowed;
}

// Cleans as a sweep does right after the item was measured.
int cleanAsMeasured(const CleanupItem& item, const Cleaner::AllowedRoots& allowed,
                    const Cleaner::CleanOptions& options = {}) {
    return Cleaner::clean(item, allowed, Cleaner::measuredRoots(item), options);
}

// Runs the clean and answers what() of the error it threw; empty when none.
std::string errorText(const CleanupItem& item, const Cleaner::AllowedRoots& allowed,
                      const Cleaner::CleanOptions& options = {}) {
    try {
        (void)cleanAsMeasured(item, allowed, options);
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

std::string refusal(const fs::path& path) {
    return "Refused to touch " + path.string() + ".";
}

// What the rest of the program relies on: unique ids, and the measured folders are the ones an
// ordinary item's action deletes (the scratch folder and the simulators are measured their own
// way). The whitelist holds every action root standardized, but nothing of
// the simulators, even when a custom folder is proposed for them.
TEST(BuiltInCatalog, ItemsAreUniqueMeasureWhatTheyDeleteAndAreWhitelisted) {
    const CustomLocations custom{{"yarn-cache", {"/Volumes/Ext/yarn//cache/"}},
                                 {"simulators", {"/opt/sim"}},
                                 {"claude-scratch", {"/opt/scratch"}}};
    const fs::path home = "/home/ann", scratch = "/tmp/claude-501";
    for (Platform platform : {Platform::macOS, Platform::Linux}) {
        const auto items = builtInCatalog(home, scratch, custom, platform);
        std::set<std::string> ids;
        for (const auto& item : items) {
            EXPECT_TRUE(ids.insert(item.id).second) << item.id;
            if (item.id != "claude-scratch" && item.id != "simulators") {
                EXPECT_EQ(item.sizeRoots, actionRoots(item.action)) << item.id;
            }
        }
        EXPECT_EQ(ids.size(), 27u);
    }
    const auto allowed = Cleaner::allowedRoots("/home/ann/", scratch, custom);
    EXPECT_TRUE(allowed.contains("/home/ann/.cache/yarn"));
    EXPECT_TRUE(allowed.contains(scratch.string()));
    EXPECT_TRUE(allowed.contains("/Volumes/Ext/yarn/cache"));
    EXPECT_FALSE(allowed.contains("/opt/sim") || allowed.contains("/opt/scratch"));
    std::size_t roots = 0;
    for (const auto& item : builtInCatalog(home, scratch, custom))
        roots += actionRoots(item.action).size();
    EXPECT_EQ(allowed.size(), roots);
    for (const auto& path : allowed) {
        EXPECT_EQ(fs::path(path), fs::path(path).lexically_normal()) << path;
        EXPECT_NE(path.back(), '/') << path;
        EXPECT_EQ(path.find("CoreSimulator"), std::string::npos) << path;
    }
}

// Roots are compared standardized, links are refused rather than followed, a root that cannot
// be listed fails with its reason, missing roots are skipped, and roots before a refused one
// stay emptied, the folder itself kept.
TEST(Guard, EmptiesEachWhitelistedRootAndKeepsItButFollowsNoLink) {
    TempTree tree;
    const auto cache = tree.folder("cache");
    tree.file("cache/v6/pkg/index.js", 5000);
    tree.file("cache/.hidden");
    tree.link("cache/link", "/nonexistent");
    tree.folder("cache/empty");
    const auto other = tree.folder("other");
    try {
        (void)cleanAsMeasured(emptying({cache, other}), allow({cache}));
        FAIL() << "no refusal";
    } catch (const Cleaner::CleanError& error) {
        EXPECT_EQ(error.kind(), Cleaner::CleanError::Kind::notAllowed);
        EXPECT_EQ(std::string(error.what()), refusal(other));
    }
    EXPECT_TRUE(fs::is_directory(cache));
    EXPECT_THAT(namesIn(cache), IsEmpty());

    const auto link = tree.link("link", other);
    tree.file("other/precious");
    EXPECT_EQ(errorText(emptying({link}), allow({link})), refusal(link));
    EXPECT_THROW((void)Cleaner::guardedRoot(link, allow({link})), Cleaner::CleanError);
    EXPECT_TRUE(fs::exists(other / "precious"));
    EXPECT_THAT(Cleaner::measuredRoots(emptying({link})), IsEmpty());
    const auto file = tree.file("plain-file");
    EXPECT_EQ(errorText(emptying({file}), allow({file})),
              "Couldn't read " + file.string() + ": Not a directory.");

    const fs::path spelled = tree.root() / "." / "cache" / ".." / "cache" / "";
    EXPECT_EQ(Cleaner::guardedRoot(spelled, allow({cache})), cache);
    EXPECT_THROW((void)Cleaner::guardedRoot(cache, allow({spelled})), Cleaner::CleanError);

    const auto missing = tree / "missing";
    EXPECT_EQ(Cleaner::guardedRoot(missing, allow({missing})), std::nullopt);
    EXPECT_EQ(cleanAsMeasured(emptying({missing}), allow({missing})), 0);
    EXPECT_EQ(cleanAsMeasured(emptyingOlderThanAWeek(missing), allow({missing})), 0);
}

// What is deleted must be what was measured: a root replaced or created since is left alone.
TEST(Guard, ARootThatIsNotTheOneMeasuredIsLeftAloneAndCounted) {
    TempTree tree;
    const auto cache = tree.folder("cache");
    const auto appeared = tree / "appeared";
    const auto item = emptying({cache, appeared});
    const auto measured = Cleaner::measuredRoots(item);
    fs::rename(cache, tree / "moved");
    tree.file("cache/new");
    tree.file("appeared/new");
    EXPECT_EQ(Cleaner::clean(item, allow({cache, appeared}), measured), 2);
    EXPECT_TRUE(fs::exists(cache / "new"));
    EXPECT_TRUE(fs::exists(appeared / "new"));
}

// A session goes only when its whole tree is older than the rule; one exactly at the cutoff
// stays.
TEST(EmptyOlderThan, RemovesOnlyEntriesWhoseWholeTreeIsOlderThanTheRule) {
    TempTree tree;
    const auto scratch = tree.folder("scratch");
    for (const std::string session : {"six", "eight"})
        tree.file("scratch/" + session + "/deep/notes.txt", 3000);
    setModifiedTree(scratch, daysAgo(30));
    setModified(scratch / "six/deep/notes.txt", daysAgo(6));
    setModified(scratch / "eight/deep/notes.txt", daysAgo(8));
    tree.file("scratch/keep-fresh");
    const auto item = emptyingOlderThanAWeek(scratch);
    EXPECT_EQ(Cleaner::measure(item), Cleaner::allocatedSize(scratch / "eight"));
    EXPECT_EQ(cleanAsMeasured(item, allow({scratch})), 0);
    EXPECT_THAT(namesIn(scratch), UnorderedElementsAre("six", "keep-fresh"));
    Cleaner::CleanOptions sixDaysLater;
    sixDaysLater.now = daysAgo(-6);
    EXPECT_EQ(cleanAsMeasured(item, allow({scratch}), sixDaysLater), 0);
    EXPECT_THAT(namesIn(scratch), ElementsAre("keep-fresh"));

    const auto cutoff = daysAgo(7);
    setModifiedTree(tree.folder("scratch/session"), cutoff);
    EXPECT_THAT(Cleaner::untouchedEntries(tree / "scratch", cutoff), IsEmpty());
    EXPECT_THAT(Cleaner::untouchedEntries(tree / "scratch", cutoff + std::chrono::nanoseconds(1)),
                ElementsAre(tree / "scratch/session"));
}

TEST(ScratchFolder, OnlyTheUsersOwnFolderAndEntriesAreMeasuredAndRemoved) {
    if (!runningAsRoot())
        GTEST_SKIP() << "needs root to give entries away";
    TempTree tree;
    // Another user's scratch folder is left alone even where it holds entries of ours.
    const auto theirs = tree.folder("claude-65534");
    giveToNobody(theirs);
    tree.file("claude-65534/old-session/file", 4000);
    const auto scratch = tree.folder("claude-0");
    tree.file("claude-0/mine/file", 4000);
    tree.file("claude-0/theirs/file", 8000);
    tree.file("claude-0/their-file", 8000);
    giveToNobody(scratch / "theirs");
    giveToNobody(scratch / "their-file");
    setModifiedTree(tree.root(), daysAgo(30));

    EXPECT_EQ(Cleaner::measure(emptyingOlderThanAWeek(theirs)), 0);
    EXPECT_EQ(cleanAsMeasured(emptyingOlderThanAWeek(theirs), allow({theirs})), 0);
    EXPECT_TRUE(fs::exists(theirs / "old-session/file"));

    const auto item = emptyingOlderThanAWeek(scratch);
    EXPECT_EQ(Cleaner::measure(item), Cleaner::allocatedSize(scratch / "mine"));
    EXPECT_EQ(cleanAsMeasured(item, allow({scratch})), 0);
    EXPECT_THAT(namesIn(scratch), UnorderedElementsAre("theirs", "their-file"));
    EXPECT_TRUE(fs::exists(scratch / "theirs/file"));
}

// Projects the scanner would offer: no repository around them, so their generated folders
// count as ignored, and nothing touched for 60 days.
struct DormantProjects {
    TempTree tree;
    fs::path modules = addProject(tree, "code/app", "node_modules", 2000);
    fs::path second = addProject(tree, "code/second");
    DormantProjects() { makeDormant(tree); }
};

TEST(RemoveDirectories, RefusesNoArtifactsUnlistedOrLinkedOnesBeforeAnythingIsDeleted) {
    DormantProjects projects;
    const auto modules = projects.modules;
    const auto source = projects.tree.file("code/app/src/main.js").parent_path();
    projects.tree.file("code/web/package.json");
    const auto linked = projects.tree.link("code/web/node_modules", modules);
    const auto other = projects.tree.folder("code/lib/target");
    for (const auto& [roots, allowed, refused] :
         {std::tuple{std::vector{modules, source}, allow({modules, source}), source},
          std::tuple{std::vector{modules, other}, allow({modules}), other},
          std::tuple{std::vector{modules, linked}, allow({modules, linked}), linked}}) {
        EXPECT_EQ(errorText(removing(roots), allowed), refusal(refused));
        EXPECT_TRUE(fs::exists(modules / "content"));
        EXPECT_TRUE(fs::exists(source / "main.js"));
    }
}

TEST(RemoveDirectories, SparesAndCountsAProjectTouchedOrChangedAfterTheScan) {
    for (const std::string change : {"touched", "no longer a project", "tracked by git"}) {
        DormantProjects projects;
        if (change == "touched") {
            projects.tree.file("code/app/NOTES.md");
        } else if (change == "no longer a project") {
            fs::remove(projects.tree / "code/app/package.json");
            setModified(projects.tree / "code/app", daysAgo(90));
        } else {
            ASSERT_TRUE(makeRepository(projects.tree / "code", ""));
            makeDormant(projects.tree);
        }
        const auto missing = projects.tree / "code/gone/node_modules";
        const auto item = removing({projects.modules, projects.second, missing});
        EXPECT_EQ(cleanAsMeasured(item, allow({projects.modules, projects.second, missing})),
                  change == "tracked by git" ? 2 : 1)
            << change;
        EXPECT_TRUE(fs::exists(projects.modules / "content")) << change;
        EXPECT_EQ(fs::exists(projects.second), change == "tracked by git") << change;
        EXPECT_TRUE(fs::exists(projects.tree / "code/second/package.json")) << change;
    }
}

// A stand-in for the simulator tool logs each call and fails at one of them; a tool that cannot
// start throws.
TEST(Simctl, RunsEveryCommandUntilTheFirstFailure) {
    TempTree tree;
    const auto log = tree / "calls.log";
    Cleaner::CleanOptions options;
    options.simctlTool = tree.script("xcrun", "echo \"$*\" >> '" + log.string() +
                                                  "'\necho noise; echo noise >&2\n"
                                                  "[ \"$*\" != 'simctl delete unavailable' ]");
    const auto item = itemWith(
        CleanupActions::Simctl{{{"shutdown", "all"}, {"delete", "unavailable"}, {"erase", "all"}}});
    EXPECT_EQ(errorText(item, {}, options), "simctl delete unavailable failed.");
    const auto two = itemWith(CleanupActions::Simctl{{{"shutdown", "all"}, {"erase", "all"}}});
    EXPECT_EQ(cleanAsMeasured(two, {}, options), 0);
    EXPECT_EQ(cleanAsMeasured(itemWith(CleanupActions::Simctl{}), {}, options), 0);
    std::stringstream calls;
    calls << std::ifstream(log).rdbuf();
    EXPECT_EQ(calls.str(), "simctl shutdown all\nsimctl delete unavailable\n"
                           "simctl shutdown all\nsimctl erase all\n");
    EXPECT_THROW(Cleaner::runSimctl({"erase", "all"}, tree / "no-xcrun"), std::system_error);
}

} // namespace
