// Workflows that overlap and workers that fail: the real coroutines against stand-ins that block
// until the test releases them, or throw.
#include "support/FakeEnvironment.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>

namespace fs = std::filesystem;

namespace {

struct OverlapFixture : ModelUnderTest {
    // A dormant project, "app", in each root the tests search.
    OverlapFixture() {
        for (const char* root : {"code", "work"}) {
            home.file(fs::path(root) / "app/package.json");
            home.file(fs::path(root) / "app/node_modules/a.js");
        }
        setModifiedTree(home.root(), daysAgo(90));
    }
    void scanned() {
        home.file(".npm/_cacache/a", 20'000);
        ASSERT_TRUE(finishes(make().scan()));
    }
};

// The first workflow has reached `gate`, held there: `during` starts the second one, then the
// gate opens and the first ends.
void whileHeld(Gate& gate, QCoro::Task<> first, const std::function<void()>& during) {
    ASSERT_TRUE(gate.waitForWaiting(1));
    during();
    gate.open();
    ASSERT_TRUE(finishes(std::move(first)));
}

// The panel's reopen scan measures; meanwhile the user confirms a sweep. Whether the scan ends
// before or after the sweep, the sweep's phase and its sizes stand.
TEST(Overlap, AScanEndingDuringOrAfterASweepLeavesTheSweepItsPhase) {
    for (const bool scanEndsFirst : {true, false}) {
        SCOPED_TRACE(scanEndsFirst ? "scan ends first" : "sweep ends first");
        OverlapFixture f;
        f.scanned();
        QSignalSpy phases(f.model.get(), &AppModel::phaseChanged);
        f.measurement->hold(scanEndsFirst ? 1'000'000 : 1);
        const auto swept = [&] {
            return f.phaseIs<AppModel::Done>();
        };
        whileHeld(*f.measurement, f.model->scan(), [&] {
            f.model->sweep();
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return scanEndsFirst ? f.phaseIs<AppModel::Sweeping>() : swept(); }, 20'000));
        });
        ASSERT_TRUE(QTest::qWaitFor(swept, 20'000));
        EXPECT_EQ(phases.count(), 3); // scanning, sweeping, done
        // The scan's sizes, measured before the deletion, never replace the sweep's.
        EXPECT_EQ(f.size("npm-cache"), 0);
    }
}

TEST(Overlap, ASecondSweepWhileTheFirstListsTheToolsIsRefused) {
    OverlapFixture f;
    f.scanned();
    QSignalSpy phases(f.model.get(), &AppModel::phaseChanged);
    f.processList->hold(1);
    whileHeld(*f.processList, f.model->sweep(), [&] {
        ASSERT_TRUE(finishes(f.model->sweep())); // at once: the first still lists the tools
        EXPECT_EQ(phases.count(), 0);
    });
    EXPECT_EQ(phases.count(), 2); // sweeping, then done: one sweep only
    EXPECT_TRUE(f.phaseIs<AppModel::Done>());
}

// "Stop searching", "Add folder…", a second request, or the roots changing alone while a
// project scan runs: the running scan goes again, once, and what it found under the old roots
// is never shown.
TEST(Overlap, ProjectScanRequestsDuringAProjectScanTakeEffectOnce) {
    const std::vector<std::pair<std::vector<std::string>, bool>> rootsAfter{
        {{}, true}, {{"code", "work"}, true}, {{"code"}, true}, {{"work"}, false}};
    for (const auto& [names, asksAgain] : rootsAfter) {
        SCOPED_TRACE(names.size() + (asksAgain ? 0 : 10));
        OverlapFixture f;
        f.make().setProjectRoots({f.home / "code"});
        QSignalSpy scanning(f.model.get(), &AppModel::isScanningProjectsChanged);
        f.projectScan->hold(1);
        std::vector<fs::path> roots;
        for (const auto& name : names)
            roots.push_back(f.home / name);
        whileHeld(*f.projectScan, f.model->scanProjects(), [&] {
            f.model->setProjectRoots(roots);
            if (asksAgain) {
                EXPECT_TRUE(finishes(f.model->scanProjects())); // at once, asking for one more
            }
            EXPECT_TRUE(f.model->isScanningProjects());
        });
        // What the first pass found under the old roots is never shown.
        EXPECT_EQ(f.model->projectItems().size(), roots.size());
        for (const auto& root : roots)
            EXPECT_NE(f.row("project:" + (root / "app").string()), nullptr);
        EXPECT_EQ(scanning.count(), 2); // up during both passes, then down
        EXPECT_EQ(f.projectScan->entered, names.empty() ? 1 : 2);
    }
}

TEST(Overlap, EveryWorkflowEndsSoundlyWhenItsWorkerThrows) {
    OverlapFixture f;
    f.scanned();
    f.model->setProjectRoots({f.home / "code"});
    ASSERT_TRUE(finishes(f.model->scanProjects()));
    const auto rows = f.model->rows();

    // Measuring fails: the scan ends, and the sizes shown stay as they were.
    f.measurement->failing = true;
    ASSERT_TRUE(finishes(f.model->scan()));
    EXPECT_TRUE(f.phaseIs<AppModel::Idle>());
    EXPECT_EQ(f.model->rows(), rows);
    f.measurement->failing = false;

    // The project scan fails: the flag comes down, the projects found before stay.
    f.projectScan->failing = true;
    ASSERT_TRUE(finishes(f.model->scanProjects()));
    EXPECT_FALSE(f.model->isScanningProjects());
    EXPECT_EQ(f.model->projectItems().size(), 1u);
    f.projectScan->failing = false;

    // Listing the running tools fails inside a sweep: it goes on with the tools known to run.
    f.processList->failing = true;
    ASSERT_TRUE(finishes(f.model->sweep()));
    EXPECT_TRUE(f.phaseIs<AppModel::Done>());
    EXPECT_EQ(f.size("npm-cache"), 0);
}

} // namespace
