// Workflows that overlap, workers that fail, and a model that goes while work still runs:
// the real coroutines against stand-ins that block until the test releases them, or throw.
#include "AppModel.h"
#include "support/FakeEnvironment.h"
#include "support/TempTree.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Phase = AppModel::Phase;

std::vector<std::string> projectIds(const std::vector<fs::path>& roots) {
    std::vector<std::string> ids;
    for (const auto& root : roots)
        ids.push_back("project:" + (root / "app").string());
    return ids;
}

struct OverlapFixture : ModelFixture {
    std::unique_ptr<TestableModel> model;

    OverlapFixture() { findProjects = oneProjectPerRoot; }
    ~OverlapFixture() { model.reset(); }
    void make() { model = std::make_unique<TestableModel>(environment()); }

    template <typename Alternative> [[nodiscard]] bool phaseIs() const {
        return std::holds_alternative<Alternative>(model->phase());
    }
    [[nodiscard]] std::int64_t size(const std::string& id) const {
        for (const auto& row : model->rows())
            if (row.item.id == id)
                return row.size;
        return -1;
    }
    [[nodiscard]] std::vector<std::string> listedProjects() const {
        std::vector<std::string> ids;
        for (const auto& item : model->projectItems())
            ids.push_back(item.id);
        return ids;
    }
    [[nodiscard]] std::vector<std::string> projectRows() const {
        std::vector<std::string> ids;
        for (const auto& row : model->rows())
            if (row.item.category == Category::projects)
                ids.push_back(row.item.id);
        return ids;
    }
};

QCoro::Task<> markWhenDone(QCoro::Task<> task, std::shared_ptr<bool> done) {
    try {
        co_await std::move(task);
    } catch (...) {
    }
    *done = true;
}

// Runs a workflow to its end, or gives up after twenty seconds (QCoro::waitFor would hang on a
// workflow that throws).
bool finishes(QCoro::Task<> task) {
    auto done = std::make_shared<bool>(false);
    markWhenDone(std::move(task), done);
    return QTest::qWaitFor([&] { return *done; }, 20'000);
}

TEST(Overlap, AScanEndingDuringOrAfterASweepLeavesTheSweepItsPhase) {
    for (const bool scanEndsFirst : {true, false}) {
        OverlapFixture f;
        f.home.file(".npm/_cacache/a", 20'000);
        f.make();
        ASSERT_TRUE(finishes(f.model->scan()));
        std::vector<Phase> phases;
        QObject::connect(f.model.get(), &AppModel::phaseChanged,
                         [&] { phases.push_back(f.model->phase()); });

        // The panel's reopen scan measures; meanwhile the user confirms a sweep.
        f.measurement->hold(scanEndsFirst ? 1'000'000 : 1);
        auto scanning = f.model->scan();
        ASSERT_TRUE(f.measurement->waitForWaiting(1));
        auto sweeping = f.model->sweep();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return scanEndsFirst ? f.phaseIs<AppModel::Sweeping>()
                                     : f.phaseIs<AppModel::Done>();
            },
            20'000));
        f.measurement->open();
        ASSERT_TRUE(finishes(std::move(scanning)));
        ASSERT_TRUE(finishes(std::move(sweeping)));

        ASSERT_EQ(phases.size(), 3u) << scanEndsFirst;
        EXPECT_TRUE(std::holds_alternative<AppModel::Scanning>(phases[0]));
        EXPECT_TRUE(std::holds_alternative<AppModel::Sweeping>(phases[1]));
        EXPECT_TRUE(f.phaseIs<AppModel::Done>()) << scanEndsFirst;
        // The scan's sizes, measured before the deletion, never replace the sweep's.
        EXPECT_EQ(f.size("npm-cache"), 0) << scanEndsFirst;
    }
}

TEST(Overlap, StopSearchingOrAddingAFolderDuringAProjectScanTakesEffect) {
    const std::vector<std::vector<std::string>> rootsAfter{{}, {"code", "work"}};
    for (const auto& names : rootsAfter) {
        OverlapFixture f;
        f.make();
        f.model->setProjectRoots({f.home / "code"});
        f.projectScan->hold(1);
        auto scanning = f.model->scanProjects();
        ASSERT_TRUE(f.projectScan->waitForWaiting(1));

        std::vector<fs::path> roots;
        for (const auto& name : names)
            roots.push_back(f.home / name);
        f.model->setProjectRoots(roots); // as "Stop searching" and "Add folder…" do
        EXPECT_TRUE(finishes(f.model->scanProjects()));
        f.projectScan->open();
        ASSERT_TRUE(finishes(std::move(scanning)));

        EXPECT_EQ(f.listedProjects(), projectIds(roots)) << names.size();
        EXPECT_EQ(f.projectRows(), projectIds(roots)) << names.size();
        EXPECT_FALSE(f.model->isScanningProjects());
    }
}

TEST(Overlap, EveryWorkflowEndsSoundlyWhenItsWorkerThrows) {
    OverlapFixture f;
    f.home.file(".npm/_cacache/a", 20'000);
    f.make();
    f.model->setProjectRoots({f.home / "code"});
    ASSERT_TRUE(finishes(f.model->scanProjects()));
    ASSERT_TRUE(finishes(f.model->scan()));
    const auto rows = f.model->rows();

    // Measuring fails: the scan ends, and the sizes shown stay as they were.
    f.measurement->fail(true);
    ASSERT_TRUE(finishes(f.model->scan()));
    EXPECT_TRUE(f.phaseIs<AppModel::Idle>());
    EXPECT_EQ(f.model->rows(), rows);
    f.measurement->fail(false);

    // The project scan fails: the flag comes down, the projects found before stay.
    f.projectScan->fail(true);
    ASSERT_TRUE(finishes(f.model->scanProjects()));
    EXPECT_FALSE(f.model->isScanningProjects());
    EXPECT_EQ(f.listedProjects(), projectIds({f.home / "code"}));
    f.projectScan->fail(false);

    // Listing the running tools fails inside a sweep: it goes on with the tools known to run,
    // and the next sweep is not refused.
    f.processList->fail(true);
    ASSERT_TRUE(finishes(f.model->sweep()));
    EXPECT_TRUE(f.phaseIs<AppModel::Done>());
    f.processList->fail(false);
    f.home.file(".npm/_cacache/b", 20'000);
    ASSERT_TRUE(finishes(f.model->scan()));
    ASSERT_GT(f.size("npm-cache"), 0);
    ASSERT_TRUE(finishes(f.model->sweep()));
    EXPECT_TRUE(f.phaseIs<AppModel::Done>());
    EXPECT_EQ(f.size("npm-cache"), 0);
}

TEST(Overlap, TheFirstScanWaitsForTheDiscoveryWhateverAsksForIt) {
    OverlapFixture f;
    const auto moved = f.home.folder("volume/pip");
    f.home.file("volume/pip/wheel", 60'000);
    *f.discovered = CustomLocations{{"pip-cache", {moved}}};
    f.discovery->hold();
    f.make();
    QSignalSpy rows(f.model.get(), &AppModel::rowsChanged);
    f.model->start();
    ASSERT_TRUE(f.discovery->waitForWaiting(1));

    ASSERT_TRUE(finishes(f.model->refresh())); // a window taking the focus, the panel opening
    EXPECT_EQ(rows.count(), 0);
    EXPECT_TRUE(f.phaseIs<AppModel::Idle>());

    f.discovery->open();
    ASSERT_TRUE(rows.wait(20'000));
    EXPECT_GE(f.size("pip-cache"), 60'000);
}

// Opens the gates after three seconds, so a model that waits for its workers fails the test
// instead of hanging it.
class OpenLater {
public:
    explicit OpenLater(std::vector<std::shared_ptr<Gate>> gates)
        : thread_([gates = std::move(gates)](std::stop_token stop) {
              std::mutex mutex;
              std::condition_variable_any never;
              std::unique_lock lock(mutex);
              never.wait_for(lock, stop, std::chrono::seconds(3), [] { return false; });
              for (const auto& gate : gates)
                  gate->open();
          }) {}

private:
    std::jthread thread_;
};

TEST(Overlap, AModelGoesWithinASecondWhateverItsWorkersStillDo) {
    OverlapFixture f;
    f.home.file(".npm/_cacache/a", 20'000);
    for (const auto& gate : {f.discovery, f.measurement, f.projectScan})
        gate->hold();
    f.make();
    f.model->setProjectRoots({f.home / "code"});
    f.model->start(); // the login shell never answers
    auto scanning = f.model->scan();
    auto projects = f.model->scanProjects();
    ASSERT_TRUE(f.discovery->waitForWaiting(1));
    ASSERT_TRUE(f.measurement->waitForWaiting(1));
    ASSERT_TRUE(f.projectScan->waitForWaiting(1));

    const OpenLater valve({f.discovery, f.measurement, f.projectScan});
    QElapsedTimer quitting;
    quitting.start();
    f.model.reset();
    EXPECT_LT(quitting.elapsed(), 1000);
}

} // namespace
