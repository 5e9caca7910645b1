#include "core/CleanerGuard.h"
#include "core/CleanError.h"
#include "core/CleanerMeasurement.h"
#include "core/ListingError.h"
#include "support/TempTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
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

Cleaner::AllowedRoots allow(std::initializer_list<fs::path> paths) {
    Cleaner::AllowedRoots allowed;
    for (const auto& path : paths)
        allowed.insert(path.string());
    return allowed;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
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

TEST(AllowedRoots, HoldsEveryActionRootStandardizedButNoSimulatorItem) {
    const CustomLocations custom{{"npm-cache", {"/Volumes/Ext/npm//cache/"}}};
    const auto allowed = Cleaner::allowedRoots("/home/ann/", "/tmp/claude-1000", custom);
    EXPECT_TRUE(allowed.contains("/home/ann/Library/Caches/Yarn"));
    EXPECT_TRUE(allowed.contains("/home/ann/.cache/yarn"));
    EXPECT_TRUE(allowed.contains("/tmp/claude-1000")); // an action root without size roots
    EXPECT_TRUE(allowed.contains("/Volumes/Ext/npm/cache"));
    for (const auto& path : allowed) {
        EXPECT_EQ(fs::path(path), fs::path(path).lexically_normal()) << path;
        EXPECT_NE(path.back(), '/') << path;
        EXPECT_EQ(path.find("CoreSimulator"), std::string::npos) << path;
    }
    const auto items = builtInCatalog("/home/ann", "/tmp/claude-1000", custom);
    std::size_t roots = 0;
    for (const auto& item : items)
        roots += actionRoots(item.action).size();
    EXPECT_EQ(allowed.size(), roots);
}

TEST(Guard, RefusesARootThatIsNotWhitelisted) {
    TempTree tree;
    const auto cache = tree.folder("cache");
    tree.file("cache/keep");
    const auto other = tree.folder("other");
    try {
        (void)cleanAsMeasured(emptying({cache, other}), allow({cache}));
        FAIL() << "no refusal";
    } catch (const Cleaner::CleanError& error) {
        EXPECT_EQ(error.kind(), Cleaner::CleanError::Kind::notAllowed);
        EXPECT_EQ(std::string(error.what()), "Refused to touch " + other.string() + ".");
    }
    EXPECT_THAT(namesIn(cache), IsEmpty()) << "roots before the refusal stay cleaned";
}

TEST(Guard, RefusesAWhitelistedRootThatBecameASymbolicLink) {
    TempTree tree;
    tree.file("elsewhere/precious");
    const auto link = tree.link("cache", tree / "elsewhere");
    EXPECT_EQ(errorText(emptying({link}), allow({link})),
              "Refused to touch " + link.string() + ".");
    EXPECT_TRUE(fs::exists(tree / "elsewhere/precious"));
    EXPECT_THROW((void)Cleaner::guardedRoot(link, allow({link})), Cleaner::CleanError);
}

TEST(Guard, StandardizesBeforeItCompares) {
    TempTree tree;
    const auto cache = tree.folder("cache");
    const fs::path spelled = tree.root() / "." / "cache" / ".." / "cache" / "";
    EXPECT_EQ(Cleaner::guardedRoot(spelled, allow({cache})), cache);
    EXPECT_THROW((void)Cleaner::guardedRoot(cache, allow({spelled})), Cleaner::CleanError);
}

TEST(Guard, AMissingRootIsSkipped) {
    TempTree tree;
    const auto missing = tree / "missing";
    EXPECT_EQ(Cleaner::guardedRoot(missing, allow({missing})), std::nullopt);
    EXPECT_EQ(cleanAsMeasured(emptying({missing}), allow({missing})), 0);
    const auto older = itemWith(CleanupActions::EmptyOlderThan{{missing}, 7});
    EXPECT_EQ(cleanAsMeasured(older, allow({missing})), 0);
}

TEST(EmptyDirectories, EmptiesTheFolderButKeepsIt) {
    TempTree tree;
    const auto yarn = tree.folder("Library/Caches/Yarn");
    tree.file("Library/Caches/Yarn/v6/pkg/index.js", 5000);
    tree.file("Library/Caches/Yarn/.hidden");
    tree.link("Library/Caches/Yarn/link", "/nonexistent");
    tree.folder("Library/Caches/Yarn/empty");
    EXPECT_EQ(cleanAsMeasured(emptying({yarn}), allow({yarn})), 0);
    EXPECT_TRUE(fs::is_directory(yarn));
    EXPECT_THAT(namesIn(yarn), IsEmpty());
}

TEST(EmptyDirectories, AFolderThatCannotBeListedFailsWithItsReason) {
    TempTree tree;
    const auto file = tree.file("plain-file");
    EXPECT_EQ(errorText(emptying({file}), allow({file})),
              "Couldn't read " + file.string() + ": Not a directory.");

    const auto locked = tree.folder("locked");
    tree.file("locked/inside");
    giveToNobody(locked);
    fs::permissions(locked, fs::perms::owner_write | fs::perms::owner_exec);
    const int status = runAsNobody([&] {
        return errorText(emptying({locked}), allow({locked})) ==
                       "Couldn't read " + locked.string() + ": Permission denied."
                   ? 0
                   : 1;
    });
    EXPECT_EQ(status, 0);
}

struct AgeCase {
    const char* description;
    double newestDaysAgo;
    bool removed;
};

class EmptyOlderThan : public ::testing::TestWithParam<AgeCase> {};

TEST_P(EmptyOlderThan, RemovesOnlyEntriesWhoseWholeTreeIsOlderThanTheRule) {
    const auto& [description, newestDaysAgo, removed] = GetParam();
    TempTree tree;
    const auto scratch = tree.folder("scratch");
    tree.file("scratch/session/deep/notes.txt", 3000);
    tree.file("scratch/keep-fresh");
    setModifiedTree(scratch / "session", daysAgo(30));
    setModified(scratch / "session/deep/notes.txt", daysAgo(newestDaysAgo));
    const auto item = itemWith(CleanupActions::EmptyOlderThan{{scratch}, 7});

    const auto expectedBytes = removed ? Cleaner::allocatedSize(scratch / "session") : 0;
    EXPECT_EQ(Cleaner::measure(item), expectedBytes) << description;
    EXPECT_EQ(cleanAsMeasured(item, allow({scratch})), 0) << description;
    EXPECT_EQ(fs::exists(scratch / "session"), !removed) << description;
    EXPECT_TRUE(fs::exists(scratch / "keep-fresh"));
}

INSTANTIATE_TEST_SUITE_P(SevenDayRule, EmptyOlderThan,
                         ::testing::Values(AgeCase{"a file deep inside changed six days ago", 6,
                                                   false},
                                           AgeCase{"the whole tree is eight days old", 8, true}));

TEST(EmptyOlderThan, UsesTheInjectedTime) {
    TempTree tree;
    const auto scratch = tree.folder("scratch");
    tree.file("scratch/old");
    setModified(scratch / "old", daysAgo(2));
    const auto item = itemWith(CleanupActions::EmptyOlderThan{{scratch}, 7});
    Cleaner::CleanOptions options;
    options.now = std::chrono::system_clock::now() + std::chrono::hours(24 * 6);
    EXPECT_EQ(cleanAsMeasured(item, allow({scratch}), options), 0);
    EXPECT_FALSE(fs::exists(scratch / "old"));
}

TEST(ScratchFolder, AFolderOwnedByAnotherUserIsUntouched) {
    if (!runningAsRoot())
        GTEST_SKIP() << "needs root to give the folder away";
    TempTree tree;
    const auto scratch = tree.folder("claude-65534");
    tree.file("claude-65534/old-session/file", 4000);
    giveToNobody(scratch);
    setModifiedTree(scratch / "old-session", daysAgo(30));
    const auto item = itemWith(CleanupActions::EmptyOlderThan{{scratch}, 7});
    EXPECT_EQ(Cleaner::measure(item), 0);
    EXPECT_EQ(cleanAsMeasured(item, allow({scratch})), 0);
    EXPECT_TRUE(fs::exists(scratch / "old-session/file"));
}

TEST(ScratchFolder, OnlyTheUsersOwnEntriesAreMeasuredAndRemoved) {
    if (!runningAsRoot())
        GTEST_SKIP() << "needs root to give entries away";
    TempTree tree;
    const auto scratch = tree.folder("claude-0");
    tree.file("claude-0/mine/file", 4000);
    tree.file("claude-0/theirs/file", 8000);
    tree.file("claude-0/their-file", 8000);
    giveToNobody(scratch / "theirs");
    giveToNobody(scratch / "their-file");
    setModifiedTree(scratch, daysAgo(30));
    const auto item = itemWith(CleanupActions::EmptyOlderThan{{scratch}, 7});

    EXPECT_EQ(Cleaner::measure(item), Cleaner::allocatedSize(scratch / "mine"));
    EXPECT_THAT(Cleaner::untouchedEntriesOwnedByUser(scratch, daysAgo(7)),
                ElementsAre(scratch / "mine"));
    EXPECT_EQ(cleanAsMeasured(item, allow({scratch})), 0);
    EXPECT_THAT(namesIn(scratch), UnorderedElementsAre("theirs", "their-file"));
    EXPECT_TRUE(fs::exists(scratch / "theirs/file"));
}

// A project whose generated folder the scanner would offer: no repository around it, so the
// folder counts as ignored, and nothing touched for 90 days.
struct DormantFixture {
    TempTree tree;
    fs::path project = tree.folder("code/app");
    fs::path modules = tree.folder("code/app/node_modules");

    DormantFixture() {
        tree.file("code/app/package.json");
        tree.file("code/app/node_modules/left-pad/index.js", 2000);
        setModifiedTree(project, daysAgo(90));
    }
    [[nodiscard]] CleanupItem item(std::vector<fs::path> roots) const {
        return itemWith(CleanupActions::RemoveDirectories{std::move(roots)});
    }
};

TEST(RemoveDirectories, RemovesADormantArtifact) {
    DormantFixture fixture;
    EXPECT_EQ(cleanAsMeasured(fixture.item({fixture.modules}), allow({fixture.modules})), 0);
    EXPECT_FALSE(fs::exists(fixture.modules));
    EXPECT_TRUE(fs::exists(fixture.project / "package.json"));
}

TEST(RemoveDirectories, AListWithAFolderThatIsNoArtifactFailsBeforeAnythingIsDeleted) {
    DormantFixture fixture;
    const auto source = fixture.tree.folder("code/app/src");
    fixture.tree.file("code/app/src/main.js");
    const auto allowed = allow({fixture.modules, source});
    EXPECT_EQ(errorText(fixture.item({fixture.modules, source}), allowed),
              "Refused to touch " + source.string() + ".");
    EXPECT_TRUE(fs::exists(fixture.modules / "left-pad/index.js"));
    EXPECT_TRUE(fs::exists(source / "main.js"));
}

TEST(RemoveDirectories, RefusesUnlistedOrLinkedArtifactsBeforeAnythingIsDeleted) {
    DormantFixture fixture;
    fixture.tree.file("code/web/package.json");
    const auto linked = fixture.tree.link("code/web/node_modules", fixture.modules);
    const auto other = fixture.tree.folder("code/lib/target");
    for (const auto& [roots, allowed, refused] :
         {std::tuple{std::vector{fixture.modules, other}, allow({fixture.modules}), other},
          std::tuple{std::vector{fixture.modules, linked}, allow({fixture.modules, linked}),
                     linked}}) {
        EXPECT_EQ(errorText(fixture.item(roots), allowed),
                  "Refused to touch " + refused.string() + ".");
        EXPECT_TRUE(fs::exists(fixture.modules / "left-pad/index.js"));
    }
}

TEST(RemoveDirectories, SparesAndCountsAProjectTouchedAfterTheScan) {
    DormantFixture fixture;
    DormantFixture second;
    fixture.tree.file("code/app/NOTES.md"); // written just now
    const auto missing = fixture.tree / "code/gone/node_modules";
    const auto item = fixture.item({fixture.modules, second.modules, missing});
    EXPECT_EQ(cleanAsMeasured(item, allow({fixture.modules, second.modules, missing})), 1);
    EXPECT_TRUE(fs::exists(fixture.modules / "left-pad/index.js"));
    EXPECT_FALSE(fs::exists(second.modules));
}

TEST(RemoveDirectories, SparesAndCountsAFolderThatIsNoLongerAnArtifact) {
    DormantFixture fixture;
    fs::remove(fixture.project / "package.json");
    setModified(fixture.project, daysAgo(90));
    EXPECT_EQ(cleanAsMeasured(fixture.item({fixture.modules}), allow({fixture.modules})), 1);
    EXPECT_TRUE(fs::exists(fixture.modules));
}

// A stand-in for the simulator tool: logs each call, fails the one named in its script.
struct SimulatorTool {
    TempTree tree;
    fs::path log = tree / "calls.log";
    fs::path tool = tree / "xcrun";

    explicit SimulatorTool(const std::string& failing) {
        std::ofstream script(tool);
        script << "#!/bin/sh\necho \"$*\" >> '" << log.string() << "'\n"
               << "echo noise; echo noise >&2\n"
               << "[ \"$*\" = '" << failing << "' ] && exit 3\nexit 0\n";
        script.close();
        fs::permissions(tool, fs::perms::owner_all);
    }
    [[nodiscard]] std::string calls() const {
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    [[nodiscard]] Cleaner::CleanOptions options() const {
        Cleaner::CleanOptions options;
        options.simctlTool = tool;
        return options;
    }
};

TEST(Simctl, StopsAtTheFirstFailingCommand) {
    SimulatorTool simulator("simctl delete unavailable");
    const auto item = itemWith(
        CleanupActions::Simctl{{{"shutdown", "all"}, {"delete", "unavailable"}, {"erase", "all"}}});
    try {
        (void)cleanAsMeasured(item, {}, simulator.options());
        FAIL() << "no error";
    } catch (const Cleaner::CleanError& error) {
        EXPECT_EQ(error.kind(), Cleaner::CleanError::Kind::commandFailed);
        EXPECT_EQ(std::string(error.what()), "simctl delete unavailable failed.");
    }
    EXPECT_EQ(simulator.calls(), "simctl shutdown all\nsimctl delete unavailable\n");
}

TEST(Simctl, SucceedsWhenEveryCommandDoesAndWithNone) {
    SimulatorTool simulator("never");
    const auto item = itemWith(CleanupActions::Simctl{{{"shutdown", "all"}, {"erase", "all"}}});
    EXPECT_EQ(cleanAsMeasured(item, {}, simulator.options()), 0);
    EXPECT_EQ(simulator.calls(), "simctl shutdown all\nsimctl erase all\n");
    EXPECT_EQ(cleanAsMeasured(itemWith(CleanupActions::Simctl{}), {}, simulator.options()), 0);
}

TEST(Simctl, AToolThatCannotStartThrowsTheStartError) {
    TempTree tree;
    const auto missing = tree / "no-xcrun";
    try {
        Cleaner::runSimctl({"erase", "all"}, missing);
        FAIL() << "no error";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ENOENT);
        EXPECT_THAT(error.what(), ::testing::StartsWith("Couldn't start " + missing.string()));
    }
}

} // namespace
