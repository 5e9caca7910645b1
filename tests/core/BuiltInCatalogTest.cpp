#include "core/BuiltInCatalog.h"

#include <gtest/gtest.h>

#include <set>

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
// ordinary item's action deletes, custom ones last. The scratch folder and the simulators are
// measured their own way, and no custom folder is ever added to them.
TEST(BuiltInCatalog, ItemsAreUniqueAndMeasureWhatTheyDelete) {
    const CustomLocations custom{{"yarn-cache", {"/media/ann/Work/yarn"}},
                                 {"simulators", {"/opt/sim"}},
                                 {"claude-scratch", {"/opt/scratch"}}};
    for (Platform platform : {Platform::macOS, Platform::Linux}) {
        const auto items = builtInCatalog(home, scratch, custom, platform);
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
        EXPECT_EQ(
            itemWithId(items, "simulators").sizeRoots,
            std::vector<std::filesystem::path>{home / "Library/Developer/CoreSimulator/Devices"});
        EXPECT_EQ(itemWithId(items, "yarn-cache").sizeRoots.back(), "/media/ann/Work/yarn");
    }
}

} // namespace
