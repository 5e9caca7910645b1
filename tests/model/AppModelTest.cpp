#include "AppModel.h"
#include "support/FakeEnvironment.h"
#include "support/TempTree.h"

#include <QCoro/QCoroTask>
#include <QSignalSpy>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

using Fixture = ModelFixture;

CleanupItem item(const std::string& id, std::vector<std::string> apps = {},
                 std::vector<std::string> processes = {},
                 std::optional<std::string> appName = std::nullopt) {
    CleanupItem made;
    made.id = id;
    made.title = id;
    made.blockingApps = std::move(apps);
    made.blockingAppName = std::move(appName);
    made.blockingProcesses = std::move(processes);
    return made;
}

const AppModel::Row& rowWithId(const AppModel& model, const std::string& id) {
    for (const auto& row : model.rows()) {
        if (row.item.id == id)
            return row;
    }
    throw std::out_of_range(id);
}

TEST(AppModel, ScanMeasuresTheCatalogInTheHomeFolder) {
    Fixture fixture;
    fixture.home.file(".cache/pip/wheels/a", 50'000);
    fixture.home.file(".npm/_cacache/index", 10'000);
    TestableModel model(fixture.environment());
    QSignalSpy phases(&model, &AppModel::phaseChanged);
    QSignalSpy rows(&model, &AppModel::rowsChanged);
    EXPECT_TRUE(model.rows().empty());

    QCoro::waitFor(model.scan());

    ASSERT_EQ(model.rows().size(), 27u);
    EXPECT_EQ(model.rows().front().item.id, "derived-data");
    EXPECT_GE(rowWithId(model, "pip-cache").size, 50'000);
    EXPECT_GE(rowWithId(model, "npm-cache").size, 10'000);
    EXPECT_EQ(rowWithId(model, "yarn-cache").size, 0);
    EXPECT_FALSE(rowWithId(model, "simulators").isSelected);
    EXPECT_TRUE(rowWithId(model, "pip-cache").isSelected);
    EXPECT_EQ(phases.count(), 2); // scanning, then idle
    EXPECT_EQ(rows.count(), 1);
    EXPECT_TRUE(std::holds_alternative<AppModel::Idle>(model.phase()));

    // Nothing changed on disk: a second scan publishes no new rows.
    QCoro::waitFor(model.scan());
    EXPECT_EQ(rows.count(), 1);
}

TEST(AppModel, SelectionsSurviveRebuildsByItemId) {
    Fixture fixture;
    TestableModel model(fixture.environment());
    QCoro::waitFor(model.scan());
    model.toggle("pip-cache");  // selected by default: now off
    model.toggle("simulators"); // off by default: now on
    fixture.home.file(".cache/pip/new", 4000);

    QCoro::waitFor(model.rebuildRows());

    EXPECT_FALSE(rowWithId(model, "pip-cache").isSelected);
    EXPECT_TRUE(rowWithId(model, "simulators").isSelected);
    EXPECT_GT(rowWithId(model, "pip-cache").size, 0);
}

TEST(AppModel, ToggleFlipsOneRowAndIgnoresUnknownIds) {
    Fixture fixture;
    TestableModel model(fixture.environment());
    model.setRows({{item("a"), 10, true}, {item("b"), 0, false}});
    QSignalSpy rows(&model, &AppModel::rowsChanged);
    model.toggle("missing");
    EXPECT_EQ(rows.count(), 0);
    model.toggle("b");
    EXPECT_EQ(rows.count(), 1);
    EXPECT_TRUE(model.rows()[1].isSelected);
}

TEST(AppModel, ScanIsRefusedWhileScanningOrSweeping) {
    Fixture fixture;
    TestableModel model(fixture.environment());
    model.setPhase(AppModel::Sweeping{});
    QSignalSpy phases(&model, &AppModel::phaseChanged);
    QCoro::waitFor(model.scan());
    EXPECT_EQ(phases.count(), 0);
    EXPECT_TRUE(model.rows().empty());

    // A scan in progress: measuring an empty home can finish before the first scan would
    // suspend, so the running scan is set up directly rather than raced against.
    model.setPhase(AppModel::Scanning{});
    QCoro::waitFor(model.scan());
    EXPECT_EQ(phases.count(), 1);
    EXPECT_TRUE(std::holds_alternative<AppModel::Scanning>(model.phase()));
    EXPECT_TRUE(model.rows().empty());
}

TEST(AppModel, ScanClearsTheOutcomeOfTheLastSweep) {
    Fixture fixture;
    TestableModel model(fixture.environment());
    model.setPhase(AppModel::Done{100, 2});
    QCoro::waitFor(model.scan());
    EXPECT_TRUE(std::holds_alternative<AppModel::Idle>(model.phase()));
}

TEST(AppModel, BlockMessagesNameTheAppFirstThenTheFirstRunningProcess) {
    Fixture fixture;
    TestableModel model(fixture.environment());
    const AppModel::Row xcode{item("x", {"com.apple.dt.Xcode"}, {"npm"}, "Xcode"), 10, true};
    const AppModel::Row unnamed{item("u", {"com.example.app"}), 10, true};
    const AppModel::Row tools{item("t", {}, {"pnpm", "pnpx"}), 10, true};

    EXPECT_EQ(model.blockMessage(xcode), std::nullopt);
    model.setRunningProcesses({"npm", "pnpx", "pnpm"});
    EXPECT_EQ(model.blockMessage(xcode), "Wait for npm to finish, then sweep this.");
    EXPECT_EQ(model.blockMessage(tools), "Wait for pnpm to finish, then sweep this.");
    model.setRunningApps({"com.apple.dt.Xcode", "com.example.app"});
    EXPECT_EQ(model.blockMessage(xcode), "Quit Xcode to sweep this.");
    EXPECT_EQ(model.blockMessage(unnamed), "Quit the app to sweep this.");
}

TEST(AppModel, TotalsLeaveOutEmptyAndBlockedRowsButKeepTheirSelection) {
    Fixture fixture;
    TestableModel model(fixture.environment());
    model.setRows({{item("a"), 100, true},
                   {item("empty"), 0, true},
                   {item("off"), 50, false},
                   {item("busy", {}, {"yarn"}), 70, true}});
    model.setRunningProcesses({"yarn"});

    const auto targets = model.sweepTargets();
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets[0].item.id, "a");
    EXPECT_EQ(model.selectedBytes(), 100);
    EXPECT_EQ(model.sweepableBytes(), 150);
    EXPECT_TRUE(model.rows()[3].isSelected);
    EXPECT_TRUE(model.rows()[1].isSelected);
}

TEST(AppModel, FreeSpaceNotifiesOnlyOnRealChanges) {
    Fixture fixture;
    TestableModel model(fixture.environment());
    QSignalSpy freeSpy(&model, &AppModel::freeBytesChanged);
    QSignalSpy totalSpy(&model, &AppModel::totalBytesChanged);
    EXPECT_EQ(model.usedFraction(), 1.0); // nothing read yet: 0 free of 1

    fixture.volume->figures = VolumeCapacity::Figures{250, 1000};
    model.refreshFreeSpace();
    model.refreshFreeSpace();
    EXPECT_EQ(freeSpy.count(), 1);
    EXPECT_EQ(totalSpy.count(), 1);
    EXPECT_DOUBLE_EQ(model.usedFraction(), 0.75);

    fixture.volume->figures = VolumeCapacity::Figures{300, std::nullopt};
    model.refreshFreeSpace();
    EXPECT_EQ(model.freeBytes(), 300);
    EXPECT_EQ(model.totalBytes(), 1000);

    fixture.volume->figures = std::nullopt; // the query fails as a whole
    model.refreshFreeSpace();
    EXPECT_EQ(model.freeBytes(), 300);
    EXPECT_EQ(freeSpy.count(), 2);

    fixture.volume->figures = VolumeCapacity::Figures{2000, 1000};
    model.refreshFreeSpace();
    EXPECT_EQ(model.usedFraction(), 0.0);
}

TEST(AppModel, ThresholdFollowsTheSettingOrTheVolume) {
    struct Case {
        std::optional<QVariant> stored;
        std::int64_t volumeTotal;
        std::int64_t expected;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {QVariant(12.5), 0, 12'500'000'000},
        {QVariant(0.0), 0, 0},
        {std::nullopt, 1'000'000'000'000, 50'000'000'000},
        {QVariant(QStringLiteral("twenty")), 256'000'000'000, 25'000'000'000},
        {QVariant(std::nan("")), 128'000'000'000, 15'000'000'000},
        {QVariant(inf), 0, std::numeric_limits<std::int64_t>::max()},
        {QVariant(1e300), 0, std::numeric_limits<std::int64_t>::max()},
        {QVariant(-inf), 0, std::numeric_limits<std::int64_t>::min()},
    };
    for (const auto& [stored, volumeTotal, expected] : cases) {
        Fixture fixture;
        if (stored)
            fixture.settings->values.insert("thresholdGB", *stored);
        fixture.volume->figures = VolumeCapacity::Figures{1, volumeTotal};
        TestableModel model(fixture.environment());
        EXPECT_EQ(model.thresholdBytes(), expected) << volumeTotal;
    }
}

TEST(AppModel, DefaultThresholdIsATenthRoundedToFivesWithinTenToFifty) {
    const std::pair<std::int64_t, double> cases[] = {
        {1'000'000'000'000, 50}, {256'000'000'000, 25}, {128'000'000'000, 15},
        {125'000'000'000, 15},   {64'000'000'000, 10},  {4'000'000'000'000, 50},
    };
    FakeVolume volume;
    for (const auto& [total, expected] : cases) {
        volume.figures = VolumeCapacity::Figures{std::nullopt, total};
        EXPECT_EQ(AppModel::defaultThresholdGB(volume, "/home/ann"), expected) << total;
    }
    volume.figures = std::nullopt;
    EXPECT_EQ(AppModel::defaultThresholdGB(volume, "/home/ann"), 10);
}

} // namespace
