#include "core/CleanerMeasurement.h"
#include "support/FakeEnvironment.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// Low-space cases are driven one slow tick at a time on a clock the test moves.
struct MonitorFixture : ModelUnderTest {
    MonitorFixture() {
        settings->values.insert("thresholdGB", 20.0);
        make();
    }
    void tick() { QCoro::waitFor(model->slowTick()); }
};

// Free space unknown (0) or at the threshold is fine; below it an alert goes out, again only
// after twelve hours, and at once after the space recovered in between. The desktop is asked
// for permission to notify only once the onboarding is done.
TEST(SlowTick, AlertsBelowTheThresholdAndAsksForPermissionOnlyAfterOnboarding) {
    const std::tuple<std::int64_t, std::chrono::seconds, qsizetype> ticks[] = {
        {0, 0s, 0},
        {20'000'000'000, 0s, 0},
        {19'999'999'999, 0s, 1},
        {19'999'999'999, 12h - 1s, 1},
        {19'999'999'999, 1s, 2},
        {30'000'000'000, 0s, 2},
        {1'000'000'000, 0s, 3},
    };
    MonitorFixture f;
    f.center->status = 0;
    for (const auto& [free, later, posts] : ticks) {
        f.volume->figures = VolumeCapacity::Figures{free, 500'000'000'000};
        f.model->refreshFreeSpace();
        f.clock->current += later;
        f.tick();
        EXPECT_EQ(f.center->posts.size(), posts) << free << " after " << later.count() << " s";
    }
    EXPECT_EQ(f.center->posts[0], "low-space");
    EXPECT_FALSE(f.model->rows().empty()); // rescanned before alerting
    EXPECT_EQ(f.center->requests, 0);

    f.settings->values.insert("onboardingCompleted", true);
    f.tick();
    EXPECT_EQ(f.center->requests, 1);
    f.center->status = 1;
    f.tick();
    EXPECT_TRUE(f.model->notificationsDenied());
}

TEST(Start, RunsOnceWithDiscoveryBeforeTheFirstRows) {
    ModelUnderTest f;
    const auto moved = f.home.file("volume/pip/wheel", 60'000).parent_path();
    f.home.file(".cache/pip/http/page", 30'000);
    *f.discovered = CustomLocations{{"pip-cache", {moved}}};
    auto& model = f.make();
    QSignalSpy rows(&model, &AppModel::rowsChanged);
    f.discovery->hold(1);
    f.measurement->hold(1);

    model.start();
    model.start();
    // The built-in folders are measured while the login shell is still being asked. Until it
    // answered, a window taking the focus or the panel opening does not scan.
    ASSERT_TRUE(f.discovery->waitForWaiting(1));
    ASSERT_TRUE(f.measurement->waitForWaiting(1));
    ASSERT_TRUE(finishes(model.refresh()));
    EXPECT_EQ(rows.count(), 0);
    f.measurement->open();
    f.discovery->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows.count() > 0; }, 60'000));

    EXPECT_EQ(f.size("pip-cache"), // the built-in and the moved folder, once each
              Cleaner::allocatedSize(f.home / ".cache/pip") + Cleaner::allocatedSize(moved));
    // One poll loop: the clock stands still, so only a loop's first pass reaches a slow tick, and
    // every loop's first pass asked for the processes before the start-up refresh did. A few
    // passes later, only the two refreshes and one slow tick have listed them.
    const int reads = f.volume->reads;
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.volume->reads >= reads + 3; }, 60'000));
    EXPECT_EQ(f.processes->calls, 3);
}

} // namespace
