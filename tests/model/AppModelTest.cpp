#include "support/FakeEnvironment.h"

#include <gtest/gtest.h>

#include <map>

namespace fs = std::filesystem;

namespace {

CleanupItem item(const std::string& id, std::vector<std::string> processes = {},
                 std::vector<std::string> apps = {},
                 std::optional<std::string> appName = std::nullopt) {
    CleanupItem made;
    made.id = made.title = id;
    made.blockingProcesses = std::move(processes);
    made.blockingApps = std::move(apps);
    made.blockingAppName = std::move(appName);
    return made;
}

// A blocked row names the app first, then its first running tool. Blocked and empty rows are
// neither swept nor counted as selected; the sweepable total counts every row not blocked.
TEST(AppModel, BlockedAndEmptyRowsAreLeftOutOfTheSweep) {
    ModelUnderTest f;
    auto& model = f.make();
    const AppModel::Row xcode{item("x", {"npm"}, {"com.apple.dt.Xcode"}, "Xcode"), 10, true};
    const AppModel::Row tools{item("t", {"pnpm", "pnpx"}), 10, true};
    model.setRunningProcesses({"npm", "pnpx", "pnpm"});
    EXPECT_EQ(model.blockMessage(tools), "Wait for pnpm to finish, then sweep this.");
    model.setRunningApps({"com.apple.dt.Xcode"});
    EXPECT_EQ(model.blockMessage(xcode), "Quit Xcode to sweep this.");

    model.setRows({{item("a"), 100, true},
                   {item("empty"), 0, true},
                   {item("off"), 50, false},
                   {item("busy", {"npm"}), 70, true}});
    const auto targets = model.sweepTargets();
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets[0].item.id, "a");
    EXPECT_EQ(model.selectedBytes(), 100);
    EXPECT_EQ(model.sweepableBytes(), 150);
}

// Every property notifies once for a change and not at all when set to the value it has. The
// login switch shows the login item's real state: a refused change leaves it where it was.
TEST(AppModel, PropertiesNotifyOnlyOnARealChange) {
    ModelUnderTest f;
    f.loginItem->enabled = true;
    auto& model = f.make();
    const std::pair<const char*, void (AppModel::*)()> changes[] = {
        {"freeBytes", &AppModel::freeBytesChanged},
        {"totalBytes", &AppModel::totalBytesChanged},
        {"rows", &AppModel::rowsChanged},
        {"phase", &AppModel::phaseChanged},
        {"runningApps", &AppModel::runningAppsChanged},
        {"runningProcesses", &AppModel::runningProcessesChanged},
        {"launchAtLogin", &AppModel::launchAtLoginChanged},
        {"notificationsDenied", &AppModel::notificationsDeniedChanged},
        {"thresholdGB", &AppModel::thresholdGBChanged},
        {"projectRoots", &AppModel::projectRootsChanged},
    };
    std::map<std::string, int> counts;
    for (const auto& [property, signal] : changes)
        QObject::connect(&model, signal, [&counts, name = property] { ++counts[name]; });
    f.volume->figures = VolumeCapacity::Figures{250, 1000};
    for (int time = 0; time < 2; ++time) {
        model.refreshFreeSpace();
        model.setRows({{item("a"), 10, false}});
        model.setPhase(AppModel::Done{});
        model.setRunningApps({"a"});
        model.setRunningProcesses({"npm"});
        model.setLaunchAtLogin(false);
        model.setNotificationsDenied(true);
        model.setThresholdGB(25);
        model.setProjectRoots({"/home/ann/code"});
    }
    f.volume->figures = std::nullopt; // a failed read keeps the figures read before: no change
    model.refreshFreeSpace();
    f.loginItem->refuses = true;
    model.setLaunchAtLogin(true);
    EXPECT_FALSE(model.launchAtLogin());
    for (const auto& [property, signal] : changes)
        EXPECT_EQ(counts[property], 1) << property;

    // Toggling changes the row every time, unless no row has the id.
    model.toggle("missing");
    model.toggle("a");
    EXPECT_EQ(counts["rows"], 2);
    EXPECT_TRUE(model.rows()[0].isSelected);
}

// A stored number wins; otherwise a tenth of the volume, rounded to fives within 10…50 GB.
// Bytes are clamped to 64 bits.
TEST(AppModel, ThresholdFollowsTheSettingOrTheVolume) {
    const std::tuple<const char*, QVariant, std::optional<std::int64_t>, std::int64_t> cases[] = {
        {"stored", QVariant(12.5), 0, 12'500'000'000},
        {"stored zero: alerts off", QVariant(0.0), 500'000'000'000, 0},
        {"stored infinity", QVariant(std::numeric_limits<double>::infinity()), 0,
         std::numeric_limits<std::int64_t>::max()},
        {"stored text", QVariant(QStringLiteral("twenty")), 256'000'000'000, 25'000'000'000},
        {"stored nan", QVariant(std::numeric_limits<double>::quiet_NaN()), 128'000'000'000,
         15'000'000'000},
        {"1 TB", QVariant(), 1'000'000'000'000, 50'000'000'000},
        {"64 GB", QVariant(), 64'000'000'000, 10'000'000'000},
        {"total unknown", QVariant(), std::nullopt, 10'000'000'000},
    };
    for (const auto& [name, stored, volumeTotal, expected] : cases) {
        ModelFixture f;
        f.settings->values.insert("thresholdGB", stored); // an invalid value counts as absent
        f.volume->figures = VolumeCapacity::Figures{1, volumeTotal};
        EXPECT_EQ(AppModel(f.environment()).thresholdBytes(), expected) << name;
    }
}

// A project's detail abbreviates only a whole leading home folder.
TEST(AppModelProjects, ProjectDetailAbbreviatesOnlyAWholeLeadingHomeFolder) {
    const std::tuple<fs::path, fs::path, std::string> cases[] = {
        {"/home/ann", "/home/ann/shop", "~"},
        {"/home/ann/", "/home/ann/code/web/shop", "~/code/web"},
        {"/home/ann", "/home/ann2/shop", "/home/ann2"},
        {"/home/ann", "/srv/home/ann/shop", "/srv/home/ann"},
        {"/", "/srv/shop", "/srv"},
    };
    for (const auto& [home, root, folderShown] : cases) {
        const ProjectScanner::DormantProject project{root, {root / "target", root / ".next"}, 7};
        EXPECT_EQ(AppModel::projectItem(project, home).detail,
                  ".next, target in " + folderShown + ". Untouched for 60+ days.")
            << root;
    }
}

} // namespace
