#include "AppModel.h"
#include "core/CleanerMeasurement.h"
#include "support/FakeEnvironment.h"
#include "support/TempTree.h"

#include <QCoro/QCoroTask>
#include <QCoro/QCoroTimer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

namespace {

using namespace std::chrono_literals;

// Lets the event loop run until `done` holds or five seconds have passed.
template <typename Predicate> bool waitUntil(Predicate done) {
    for (int waited = 0; waited < 5000 && !done(); waited += 10)
        QTest::qWait(10);
    return done();
}

const AppModel::Row& rowWithId(const AppModel& model, const std::string& id) {
    for (const auto& row : model.rows()) {
        if (row.item.id == id)
            return row;
    }
    throw std::out_of_range(id);
}

// Low-space cases are driven one slow tick at a time on a clock the test moves.
struct MonitorFixture : ModelFixture {
    TestableModel model{environment()};

    MonitorFixture() { settings->values.insert("thresholdGB", 20.0); }
    void setFree(std::int64_t bytes) {
        volume->figures = VolumeCapacity::Figures{bytes, 500'000'000'000};
        model.refreshFreeSpace();
    }
    void tick() { QCoro::waitFor(model.slowTick()); }
    void advance(std::chrono::seconds by) { clock->current += by; }
};

TEST(LowSpaceAlert, FiresBelowTheThresholdOnlyAndRepeatsAfterTwelveHours) {
    MonitorFixture fixture;
    fixture.setFree(20'000'000'000); // equal to the threshold: fine
    fixture.tick();
    EXPECT_TRUE(fixture.center->posts.empty());
    EXPECT_EQ(fixture.model.lastAlert(), std::nullopt);

    fixture.setFree(19'999'999'999);
    fixture.tick();
    ASSERT_EQ(fixture.center->posts.size(), 1u);
    EXPECT_EQ(fixture.center->posts[0].identifier, "low-space");
    EXPECT_EQ(fixture.center->posts[0].title, "Psst, your computer is getting full");
    EXPECT_EQ(fixture.model.lastAlert(), fixture.clock->current);
    EXPECT_FALSE(fixture.model.rows().empty()); // rescanned before alerting

    fixture.advance(12h - 1s);
    fixture.tick();
    EXPECT_EQ(fixture.center->posts.size(), 1u);
    fixture.advance(1s);
    fixture.tick();
    EXPECT_EQ(fixture.center->posts.size(), 2u);

    fixture.setFree(30'000'000'000); // recovered: the next drop alerts at once
    fixture.tick();
    EXPECT_EQ(fixture.model.lastAlert(), std::nullopt);
    fixture.setFree(1'000'000'000);
    fixture.tick();
    EXPECT_EQ(fixture.center->posts.size(), 3u);
}

TEST(LowSpaceAlert, NoAlertBeforeAReadingOrWithAThresholdOfZero) {
    MonitorFixture fixture;
    fixture.tick(); // free space still 0
    fixture.settings->values.insert("thresholdGB", 0.0);
    fixture.setFree(1);
    fixture.tick();
    EXPECT_TRUE(fixture.center->posts.empty());
}

TEST(LowSpaceAlert, DuringASweepTheAlertIsPostedWithoutARescan) {
    MonitorFixture fixture;
    fixture.model.setPhase(AppModel::Sweeping{});
    QSignalSpy rows(&fixture.model, &AppModel::rowsChanged);
    fixture.setFree(1'000);
    fixture.tick();
    EXPECT_EQ(fixture.center->posts.size(), 1u);
    EXPECT_EQ(rows.count(), 0);
    EXPECT_EQ(fixture.model.phase(), AppModel::Phase(AppModel::Sweeping{}));
}

TEST(PollLoop, SlowTicksRunAtTheFirstPassThenAtMostOnceAMinute) {
    MonitorFixture fixture;
    QCoro::waitFor(fixture.model.pollPass());
    EXPECT_EQ(fixture.processes->calls(), 1);
    fixture.advance(59s);
    QCoro::waitFor(fixture.model.pollPass());
    EXPECT_EQ(fixture.processes->calls(), 1);
    fixture.advance(1s);
    QCoro::waitFor(fixture.model.pollPass());
    EXPECT_EQ(fixture.processes->calls(), 2);
    EXPECT_GE(fixture.volume->reads, 3);
}

TEST(Permission, AskedOnlyAfterOnboarding) {
    MonitorFixture fixture;
    fixture.center->status = 0;
    fixture.tick();
    EXPECT_EQ(fixture.center->requests, 0);
    EXPECT_FALSE(fixture.model.notificationsDenied());

    fixture.settings->values.insert("onboardingCompleted", true);
    fixture.tick();
    EXPECT_EQ(fixture.center->requests, 1);

    fixture.center->status = 1;
    QSignalSpy denied(&fixture.model, &AppModel::notificationsDeniedChanged);
    fixture.tick();
    fixture.tick();
    EXPECT_TRUE(fixture.model.notificationsDenied());
    EXPECT_EQ(denied.count(), 1);
}

TEST(Start, RunsOnceWithDiscoveryBeforeTheFirstRowsAndNoPermissionBeforeOnboarding) {
    ModelFixture fixture;
    const auto moved = fixture.home.folder("volume/pip");
    fixture.home.file("volume/pip/wheel", 60'000);
    fixture.home.file(".cache/pip/http/page", 30'000);
    *fixture.discovered = CustomLocations{{"pip-cache", {moved}}};
    fixture.center->status = 0;
    auto model = std::make_unique<AppModel>(fixture.environment());
    QSignalSpy rows(model.get(), &AppModel::rowsChanged);
    fixture.discovery->hold(1);
    fixture.measurement->hold(1);

    model->start();
    model->start();
    // The built-in folders are measured while the login shell is still being asked.
    ASSERT_TRUE(fixture.discovery->waitForWaiting(1));
    ASSERT_TRUE(fixture.measurement->waitForWaiting(1));
    fixture.measurement->open();
    fixture.discovery->open();
    ASSERT_TRUE(rows.wait(20'000));

    EXPECT_EQ(rowWithId(*model, "pip-cache").size, // the built-in and the moved folder, once each
              Cleaner::allocatedSize(fixture.home / ".cache/pip") + Cleaner::allocatedSize(moved));
    EXPECT_EQ(model->customLocations().at("pip-cache").front(), moved);
    EXPECT_EQ(fixture.center->requests, 0);
    // One poll loop: with a 5 ms interval and a clock that stands still, only the first pass
    // reaches a slow tick; the start-up refresh lists processes once more.
    QTest::qWait(50);
    EXPECT_LE(fixture.processes->calls(), 2);

    model.reset(); // the loop holds the model only weakly and ends
    QTest::qWait(30);
}

TEST(Start, AsksForPermissionWhenOnboardingIsComplete) {
    ModelFixture fixture;
    fixture.settings->values.insert("onboardingCompleted", true);
    fixture.center->status = 0;
    AppModel model(fixture.environment());
    model.start();
    EXPECT_TRUE(waitUntil([&] { return fixture.center->requests >= 1; }));
}

TEST(Settings, LoginItemMirrorsTheRealStateAndThresholdNotifiesOnChange) {
    ModelFixture fixture;
    fixture.loginItem->enabled = true;
    AppModel model(fixture.environment());
    EXPECT_TRUE(model.launchAtLogin());
    QSignalSpy login(&model, &AppModel::launchAtLoginChanged);
    model.setLaunchAtLogin(false);
    EXPECT_FALSE(model.launchAtLogin());
    fixture.loginItem->refuses = true;
    model.setLaunchAtLogin(true);
    EXPECT_FALSE(model.launchAtLogin());
    EXPECT_EQ(login.count(), 1);

    QSignalSpy threshold(&model, &AppModel::thresholdGBChanged);
    EXPECT_FALSE(fixture.settings->values.contains("thresholdGB"));
    EXPECT_EQ(model.thresholdGB(), 10); // the volume could not be read
    model.setThresholdGB(25);
    model.setThresholdGB(25);
    EXPECT_EQ(threshold.count(), 1);
    EXPECT_EQ(model.thresholdBytes(), 25'000'000'000);
}

TEST(Settings, AddingProjectFoldersStartsInDevelopingAndSkipsKnownFolders) {
    ModelFixture fixture;
    AppModel model(fixture.environment());
    const auto code = fixture.home.folder("Code").string();
    fixture.chooser->answer = QStringList{QString::fromStdString(code)};
    QCoro::waitFor(model.addProjectFolders());
    EXPECT_EQ(fixture.chooser->startFolders.back(), std::nullopt);

    fixture.home.folder("Developing");
    const auto work = fixture.home.folder("Work").string();
    fixture.chooser->answer =
        QStringList{QString::fromStdString(code), QString::fromStdString(work)};
    const int writes = fixture.settings->writes;
    QCoro::waitFor(model.addProjectFolders());
    EXPECT_EQ(fixture.chooser->startFolders.back(),
              QString::fromStdString((fixture.home / "Developing").string()));
    ASSERT_EQ(model.projectRoots().size(), 2u);
    EXPECT_EQ(model.projectRoots()[1], work);
    EXPECT_GT(fixture.settings->writes, writes);

    fixture.chooser->answer = std::nullopt; // cancelled: nothing saved
    const int before = fixture.settings->writes;
    QCoro::waitFor(model.addProjectFolders());
    EXPECT_EQ(fixture.settings->writes, before);
}

} // namespace
