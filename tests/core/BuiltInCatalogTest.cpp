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
    for (const auto& item : items)
        if (item.id == id)
            return item;
    throw std::out_of_range(id);
}

// What the rest of the program relies on: unique ids, and the measured folders are the ones an
// ordinary item's action deletes. The scratch folder and the simulators are measured their own way.
TEST(BuiltInCatalog, ItemsAreUniqueAndMeasureWhatTheyDelete) {
    for (Platform platform : {Platform::macOS, Platform::Linux}) {
        const auto items = builtInCatalog(home, scratch, {}, platform);
        std::set<std::string> ids;
        for (const auto& item : items) {
            EXPECT_TRUE(ids.insert(item.id).second) << item.id;
            EXPECT_EQ(item.blockingApps.empty(), !item.blockingAppName.has_value()) << item.id;
            EXPECT_EQ(item.selectedByDefault, item.id != "simulators") << item.id;
            if (item.id != "claude-scratch" && item.id != "simulators") {
                EXPECT_EQ(item.sizeRoots, actionRoots(item.action)) << item.id;
            }
        }
        EXPECT_EQ(ids.size(), 27u);
        const auto& scratchItem = itemWithId(items, "claude-scratch");
        EXPECT_TRUE(scratchItem.sizeRoots.empty());
        EXPECT_EQ(scratchItem.action, CleanupAction(CleanupActions::EmptyOlderThan{{scratch}, 7}));
    }
}

TEST(BuiltInCatalog, LinuxFoldersComeAfterTheDefaultsAndCustomOnesLastOnOrdinaryItemsOnly) {
    const CustomLocations custom{{"yarn-cache", {"/media/ann/Work/yarn"}},
                                 {"simulators", {"/opt/sim"}},
                                 {"claude-scratch", {"/opt/scratch"}},
                                 {"no-such-item", {"/opt/other"}}};
    const auto items = builtInCatalog(home, scratch, custom, Platform::Linux);
    const auto& yarn = itemWithId(items, "yarn-cache");
    EXPECT_THAT(yarn.sizeRoots, ElementsAre(home / "Library/Caches/Yarn", home / ".cache/yarn",
                                            home / ".yarn/berry/cache", "/media/ann/Work/yarn"));
    EXPECT_EQ(yarn.sizeRoots, actionRoots(yarn.action));
    const auto plain = builtInCatalog(home, scratch, {}, Platform::Linux);
    for (const std::string id : {"simulators", "claude-scratch"})
        EXPECT_EQ(itemWithId(items, id), itemWithId(plain, id)) << id;
    EXPECT_EQ(items.size(), plain.size());
}

TEST(BuiltInCatalog, ScratchFolderFollowsTheRealUserId) {
    const std::string uid = std::to_string(getuid());
    EXPECT_EQ(claudeScratchDirectory(Platform::Linux), "/tmp/claude-" + uid);
    EXPECT_EQ(claudeScratchDirectory(Platform::macOS), "/private/tmp/claude-" + uid);
}

} // namespace
