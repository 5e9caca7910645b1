#include "core/BuiltInCatalog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <unistd.h>

using ::testing::ElementsAre;

namespace {

const std::filesystem::path home = "/home/ann";
const std::filesystem::path scratch = "/tmp/claude-501";

const CleanupItem& itemWithId(const std::vector<CleanupItem>& items, const std::string& id) {
    for (const auto& item : items) {
        if (item.id == id)
            return item;
    }
    throw std::out_of_range(id);
}

TEST(BuiltInCatalog, HasTwentySevenUniqueItemsOnBothPlatforms) {
    for (Platform platform : {Platform::macOS, Platform::Linux}) {
        const auto items = builtInCatalog(home, scratch, {}, platform);
        ASSERT_EQ(items.size(), 27u);
        std::set<std::string> ids;
        for (const auto& item : items) {
            ids.insert(item.id);
            EXPECT_EQ(item.blockingApps.empty(), !item.blockingAppName.has_value()) << item.id;
            if (item.id != "claude-scratch" && item.id != "simulators") {
                EXPECT_EQ(item.sizeRoots, actionRoots(item.action)) << item.id;
            }
        }
        EXPECT_EQ(ids.size(), 27u);
        EXPECT_EQ(items.front().id, "derived-data");
        EXPECT_EQ(items.back().id, "cargo-registry");
        EXPECT_EQ(builtInCatalog(home, scratch, {}, platform), items);
    }
}

TEST(BuiltInCatalog, MacRootsAreExactlyTheDefaults) {
    const auto items = builtInCatalog(home, scratch, {}, Platform::macOS);
    EXPECT_THAT(itemWithId(items, "pip-cache").sizeRoots,
                ElementsAre(home / "Library/Caches/pip", home / ".cache/pip"));
    EXPECT_THAT(itemWithId(items, "yarn-cache").sizeRoots,
                ElementsAre(home / "Library/Caches/Yarn"));
    const std::map<std::string, std::size_t> appRootCounts{
        {"claude-app", 12}, {"codex-app", 11},       {"cursor-app", 12},
        {"kimi-app", 12},   {"antigravity-app", 11}, {"vscode-app", 11}};
    for (const auto& [id, count] : appRootCounts)
        EXPECT_EQ(itemWithId(items, id).sizeRoots.size(), count) << id;
    EXPECT_EQ(itemWithId(items, "antigravity-app").sizeRoots.front(),
              home / "Library/Application Support/Antigravity IDE/Cache");
}

TEST(BuiltInCatalog, LinuxAddsItsFoldersAfterTheDefaultsAndBeforeCustomOnes) {
    const CustomLocations custom{{"yarn-cache", {"/media/ann/Work/yarn"}}};
    const auto items = builtInCatalog(home, scratch, custom, Platform::Linux);
    EXPECT_THAT(itemWithId(items, "yarn-cache").sizeRoots,
                ElementsAre(home / "Library/Caches/Yarn", home / ".cache/yarn",
                            home / ".yarn/berry/cache", "/media/ann/Work/yarn"));
    EXPECT_THAT(itemWithId(items, "pnpm-cache").sizeRoots,
                ElementsAre(home / "Library/Caches/pnpm", home / "Library/pnpm/store",
                            home / ".cache/pnpm", home / ".local/share/pnpm/store"));
    const auto& vscode = itemWithId(items, "vscode-app").sizeRoots;
    ASSERT_EQ(vscode.size(), 20u);
    EXPECT_EQ(vscode[11], home / ".config/Code/Cache");
    EXPECT_EQ(vscode[19], home / ".config/Code/component_crx_cache");
    EXPECT_EQ(itemWithId(items, "antigravity-app").sizeRoots[11],
              home / ".config/Antigravity/Cache");
    EXPECT_EQ(itemWithId(items, "kimi-app").sizeRoots[12], home / ".config/kimi-desktop/Cache");
    EXPECT_THAT(itemWithId(items, "npm-cache").sizeRoots, ElementsAre(home / ".npm/_cacache"));
}

TEST(BuiltInCatalog, CustomLocationsAreAppendedOnlyToOrdinaryItems) {
    const CustomLocations custom{{"pip-cache", {"/opt/pipcache"}},
                                 {"simulators", {"/opt/sim"}},
                                 {"claude-scratch", {"/opt/scratch"}},
                                 {"no-such-item", {"/opt/other"}}};
    const auto items = builtInCatalog(home, scratch, custom, Platform::macOS);
    const auto& pip = itemWithId(items, "pip-cache");
    EXPECT_THAT(pip.sizeRoots,
                ElementsAre(home / "Library/Caches/pip", home / ".cache/pip", "/opt/pipcache"));
    EXPECT_EQ(pip.sizeRoots, actionRoots(pip.action));
    EXPECT_EQ(itemWithId(items, "simulators"),
              itemWithId(builtInCatalog(home, scratch, {}, Platform::macOS), "simulators"));
    EXPECT_EQ(itemWithId(items, "claude-scratch"),
              itemWithId(builtInCatalog(home, scratch, {}, Platform::macOS), "claude-scratch"));
    for (const auto& item : items) {
        for (const auto& root : item.sizeRoots)
            EXPECT_NE(root, "/opt/other");
    }
}

TEST(BuiltInCatalog, SpecialItemsCarryTheirOwnActions) {
    const auto items = builtInCatalog(home, scratch, {}, Platform::Linux);
    const auto& scratchItem = itemWithId(items, "claude-scratch");
    EXPECT_TRUE(scratchItem.sizeRoots.empty());
    EXPECT_EQ(scratchItem.action, CleanupAction(CleanupActions::EmptyOlderThan{{scratch}, 7}));
    EXPECT_EQ(scratchItem.risk, Risk::resets);
    EXPECT_TRUE(scratchItem.detail.ends_with("in 7 days."));

    const auto& simulators = itemWithId(items, "simulators");
    EXPECT_FALSE(simulators.selectedByDefault);
    EXPECT_EQ(simulators.risk, Risk::resets);
    EXPECT_EQ(simulators.action,
              CleanupAction(CleanupActions::Simctl{
                  {{"shutdown", "all"}, {"delete", "unavailable"}, {"erase", "all"}}}));
    EXPECT_THAT(simulators.sizeRoots,
                ElementsAre(home / "Library/Developer/CoreSimulator/Devices"));
    for (const auto& item : items) {
        if (item.id != "simulators") {
            EXPECT_TRUE(item.selectedByDefault) << item.id;
        }
    }
    EXPECT_EQ(itemWithId(items, "claude-app").detail,
              "Web caches and old update downloads. Rebuilt when you reopen Claude.");
    EXPECT_EQ(itemWithId(items, "cocoapods-cache").detail,
              "Downloaded pods. Fetched again on `pod install`.");
}

TEST(BuiltInCatalog, ScratchFolderFollowsTheRealUserId) {
    const std::string uid = std::to_string(getuid());
    EXPECT_EQ(claudeScratchDirectory(Platform::Linux), "/tmp/claude-" + uid);
    EXPECT_EQ(claudeScratchDirectory(Platform::macOS), "/private/tmp/claude-" + uid);
}

TEST(Category, TitlesInDisplayOrder) {
    std::vector<std::string> titles;
    for (Category category : allCategories)
        titles.emplace_back(title(category));
    EXPECT_THAT(titles,
                ElementsAre("Dormant projects", "Xcode", "JavaScript", "Python", "Browser tools",
                            "AI tools", "Mobile dependencies", "Other tools"));
}

} // namespace
