// Workflows that overlap, workers that fail, and a model that goes while work still runs: the
// real coroutines against stand-ins that block until the test releases them, or throw. First
// the races known by name, then seeded schedules of everything the user, the poll loop and the
// start-up work can do, with the rules that must hold checked at every step.
#include "support/FakeEnvironment.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <random>
#include <thread>

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

template <typename Alternative> bool holds(const AppModel::Phase& phase) {
    return std::holds_alternative<Alternative>(phase);
}

// Every project stand-in finds one project, "app", in each root it searches; the passes are
// counted.
struct OverlapFixture : ModelUnderTest {
    std::shared_ptr<std::atomic<int>> projectPasses = std::make_shared<std::atomic<int>>(0);

    OverlapFixture() {
        findProjects = [passes = projectPasses](const std::vector<fs::path>& roots, FileTime now,
                                                int days) {
            ++*passes;
            return oneProjectPerRoot(roots, now, days);
        };
    }
    [[nodiscard]] std::set<std::string> listedProjects() const {
        std::set<std::string> ids;
        for (const auto& item : model->projectItems())
            ids.insert(item.id);
        return ids;
    }
    [[nodiscard]] std::set<std::string> projectRows() const {
        std::set<std::string> ids;
        for (const auto& row : model->rows())
            if (row.item.category == Category::projects)
                ids.insert(row.item.id);
        return ids;
    }
    [[nodiscard]] std::set<std::string> searchedProjects() const {
        std::set<std::string> ids;
        for (const auto& root : model->projectRoots())
            ids.insert("project:" + (root / "app").string());
        return ids;
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
        const auto swept = std::make_shared<bool>(false);
        whileHeld(*f.measurement, f.model->scan(), [&] {
            markWhenDone(f.model->sweep(), swept);
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return scanEndsFirst ? f.phaseIs<AppModel::Sweeping>() : *swept; }, 20'000));
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return *swept; }, 20'000));
        EXPECT_EQ(phases.count(), 3); // scanning, sweeping, done
        EXPECT_TRUE(f.phaseIs<AppModel::Done>());
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
        EXPECT_TRUE(fs::exists(f.home / ".npm/_cacache/a"));
    });
    EXPECT_EQ(phases.count(), 2); // sweeping, then done: one sweep only
    EXPECT_TRUE(f.phaseIs<AppModel::Done>());
}

// "Stop searching", "Add folder…" and a second request while a project scan runs: the running
// scan goes again, once, and what it found under the old roots is never shown.
TEST(Overlap, ProjectScanRequestsDuringAProjectScanTakeEffectOnce) {
    const std::vector<std::vector<std::string>> rootsAfter{{}, {"code", "work"}, {"code"}};
    for (const auto& names : rootsAfter) {
        SCOPED_TRACE(names.size());
        OverlapFixture f;
        f.make().setProjectRoots({f.home / "code"});
        QSignalSpy scanning(f.model.get(), &AppModel::isScanningProjectsChanged);
        QSignalSpy rows(f.model.get(), &AppModel::rowsChanged);
        f.projectScan->hold(1);
        whileHeld(*f.projectScan, f.model->scanProjects(), [&] {
            std::vector<fs::path> roots;
            for (const auto& name : names)
                roots.push_back(f.home / name);
            f.model->setProjectRoots(roots);
            EXPECT_TRUE(finishes(f.model->scanProjects())); // at once, asking for one more pass
            EXPECT_TRUE(f.model->isScanningProjects());
        });
        EXPECT_EQ(f.listedProjects(), f.searchedProjects());
        EXPECT_EQ(f.projectRows(), f.searchedProjects());
        EXPECT_FALSE(f.model->isScanningProjects());
        EXPECT_EQ(scanning.count(), 2);
        EXPECT_EQ(*f.projectPasses, names.empty() ? 1 : 2);
        if (names.size() == 1) {
            EXPECT_EQ(rows.count(), 1); // one rebuild for the two requests
        }
    }
}

TEST(Overlap, TheFirstScanWaitsForTheDiscoveryWhateverAsksForIt) {
    OverlapFixture f;
    *f.discovered = CustomLocations{{"pip-cache", {f.home.folder("volume/pip")}}};
    f.home.file("volume/pip/wheel", 60'000);
    QSignalSpy rows(&f.make(), &AppModel::rowsChanged);
    f.discovery->hold();
    f.model->start();
    ASSERT_TRUE(f.discovery->waitForWaiting(1));

    ASSERT_TRUE(finishes(f.model->refresh())); // a window taking the focus, the panel opening
    EXPECT_EQ(rows.count(), 0);
    EXPECT_TRUE(f.phaseIs<AppModel::Idle>());

    f.discovery->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows.count() > 0; }, 20'000));
    EXPECT_GE(f.size("pip-cache"), 60'000);
}

TEST(Overlap, EveryWorkflowEndsSoundlyWhenItsWorkerThrows) {
    OverlapFixture f;
    f.home.file(".npm/_cacache/a", 20'000);
    f.make().setProjectRoots({f.home / "code"});
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
    EXPECT_EQ(f.listedProjects(), f.searchedProjects());
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

// Quitting: the model goes at once, whatever its workers still do. The gates open after three
// seconds, so a model that waited for its workers fails the test instead of hanging it.
void expectGoesAtOnce(OverlapFixture& f) {
    std::jthread valve([&f](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any never;
        std::unique_lock lock(mutex);
        never.wait_for(lock, stop, 3s, [] { return false; });
        for (const auto& gate : {f.discovery, f.processList, f.measurement, f.projectScan})
            gate->open();
    });
    QElapsedTimer quitting;
    quitting.start();
    f.model.reset();
    EXPECT_LT(quitting.elapsed(), 1000);
}

TEST(Overlap, AModelGoesWithinASecondWhateverItsWorkersStillDo) {
    OverlapFixture f;
    f.home.file(".npm/_cacache/a", 20'000);
    for (const auto& gate : {f.discovery, f.measurement, f.projectScan})
        gate->hold();
    f.make().setProjectRoots({f.home / "code"});
    f.model->start(); // the login shell never answers
    auto scanning = f.model->scan();
    auto projects = f.model->scanProjects();
    for (const auto& gate : {f.discovery, f.measurement, f.projectScan})
        ASSERT_TRUE(gate->waitForWaiting(1));
    expectGoesAtOnce(f);
}

// What the workflows the schedule started are doing; shared with them, since they may end
// after the schedule (and the model) have gone.
struct Workflows {
    int running = 0;
    int thrown = 0;
    bool sweepRuns = false;
};

QCoro::Task<> run(QCoro::Task<> task, std::shared_ptr<Workflows> workflows,
                  QPointer<AppModel> model) {
    ++workflows->running;
    try {
        co_await std::move(task);
    } catch (...) {
        ++workflows->thrown;
    }
    --workflows->running;
    if (!model || !holds<AppModel::Sweeping>(model->phase()))
        workflows->sweepRuns = false;
}

class Schedule : public OverlapFixture {
public:
    explicit Schedule(unsigned seed) : random_(seed) {
        home.file(".npm/_cacache/a", 20'000);
        // A root that became a link: sweeping pip's cache fails (until the user deselects it).
        home.file("Library/Caches/pip/b", 20'000);
        home.file("elsewhere/keep", 1'000);
        home.link(".cache/pip", home / "elsewhere");
        volume->figures = VolumeCapacity::Figures{1'000'000'000, 500'000'000'000};
        settings->values.insert(QStringLiteral("thresholdGB"), 20.0); // low: alerts rescan
        for (const auto& gate : {discovery, processList, projectScan})
            gate->hold();
        make();
        watch();
        model->start();
    }
    // Before the members the model's signals reach.
    ~Schedule() { model.reset(); }

    void step() {
        const std::function<void()> actions[] = {
            [this] { track(model->refresh()); },
            [this] { track(model->sweep()); },
            [this] { track(model->scanProjects()); },
            [this] { model->setProjectRoots(someRoots()); },
            [this] {
                chooser->answer = QStringList{QString::fromStdString(folder(pick(3)).string())};
                track(model->addProjectFolders());
            },
            [this] {
                dismissing_ = true;
                model->dismissOutcome();
                dismissing_ = false;
            },
            [this] {
                clock->current += 61s;
                track(model->pollPass());
            },
            [this] { measurement->fail(pick(3) == 0); },
            [this] {
                std::vector<std::string> ids{"pip-cache", "npm-cache"};
                for (const auto& id : projectRows())
                    ids.push_back(id);
                model->toggle(ids[std::size_t(pick(int(ids.size())))]);
            },
        };
        // Releasing a waiting worker is as likely as the other actions together.
        const int action = pick(14);
        if (action < int(std::size(actions)))
            actions[action]();
        else
            releaseOne();
        settle();
        // Projects, listed or in the rows, always belong to the roots searched now.
        for (const auto& ids : {listedProjects(), projectRows()})
            for (const auto& id : ids)
                EXPECT_TRUE(searchedProjects().contains(id)) << id;
    }

    // Everything released and finished: no flag stays set, and a sweep still runs.
    void finish() {
        for (const auto& gate : {discovery, processList, projectScan, measurement})
            gate->open();
        measurement->fail(false);
        ASSERT_TRUE(QTest::qWaitFor([this] { return workflows_->running == 0; }, 10'000));
        settle();
        EXPECT_FALSE(model->isScanningProjects());
        EXPECT_FALSE(phaseIs<AppModel::Scanning>());
        EXPECT_FALSE(phaseIs<AppModel::Sweeping>());
        home.file(".npm/_cacache/b", 20'000);
        QCoro::waitFor(model->scan());
        if (model->sweepTargets().empty())
            model->toggle("npm-cache"); // the schedule deselected it
        ASSERT_FALSE(model->sweepTargets().empty());
        QCoro::waitFor(model->sweep());
        EXPECT_TRUE(phaseIs<AppModel::Done>() || phaseIs<AppModel::Failed>());
        EXPECT_EQ(workflows_->thrown, 0);
    }

    [[nodiscard]] int pick(int count) {
        return std::uniform_int_distribution<int>(0, count - 1)(random_);
    }

private:
    fs::path folder(int index) const { return home / std::string(1, char('a' + index)); }

    std::vector<fs::path> someRoots() {
        std::vector<fs::path> roots;
        for (int index = 0; index < 3; ++index)
            if (pick(2) == 0)
                roots.push_back(folder(index));
        return roots;
    }

    void releaseOne() {
        std::vector<std::shared_ptr<Gate>> waiting;
        for (const auto& gate : {discovery, processList, projectScan})
            if (gate->waiting() > 0)
                waiting.push_back(gate);
        if (!waiting.empty())
            waiting[std::size_t(pick(int(waiting.size())))]->releaseOne(pick(4) == 0);
    }

    // The phase rules, checked at every change.
    void watch() {
        QObject::connect(model.get(), &AppModel::phaseChanged, [this] {
            const AppModel::Phase& now = model->phase();
            if (holds<AppModel::Sweeping>(now))
                workflows_->sweepRuns = true;
            EXPECT_FALSE(workflows_->sweepRuns && !holds<AppModel::Sweeping>(now) &&
                         !holds<AppModel::Done>(now) && !holds<AppModel::Failed>(now))
                << "a sweep runs, yet the phase moved on";
            const bool hadOutcome =
                holds<AppModel::Done>(phase_) || holds<AppModel::Failed>(phase_);
            EXPECT_FALSE(hadOutcome && holds<AppModel::Idle>(now) && !dismissing_)
                << "a sweep's outcome was lost before the next scan or sweep";
            phase_ = now;
        });
        for (auto signal : {&AppModel::phaseChanged, &AppModel::rowsChanged,
                            &AppModel::projectItemsChanged, &AppModel::isScanningProjectsChanged,
                            &AppModel::runningProcessesChanged, &AppModel::customLocationsChanged})
            QObject::connect(model.get(), signal, [this] { ++changes_; });
    }

    void track(QCoro::Task<> task) { run(std::move(task), workflows_, model.get()); }

    [[nodiscard]] int blocked() const {
        return discovery->waiting() + processList->waiting() + projectScan->waiting() +
               measurement->waiting();
    }
    [[nodiscard]] static int busy() {
        return WorkerPools::measurement().activeThreadCount() +
               WorkerPools::processes().activeThreadCount() +
               WorkerPools::projects().activeThreadCount();
    }

    // Until every worker waits at a gate or is idle, and the model stopped changing.
    void settle() {
        for (int quiet = 0; quiet < 3;) {
            ASSERT_TRUE(QTest::qWaitFor([this] { return busy() == blocked(); }, 10'000));
            const int before = changes_;
            QCoreApplication::processEvents();
            quiet = changes_ == before && busy() == blocked() ? quiet + 1 : 0;
        }
    }

    std::mt19937 random_;
    std::shared_ptr<Workflows> workflows_ = std::make_shared<Workflows>();
    AppModel::Phase phase_ = AppModel::Idle{};
    bool dismissing_ = false;
    int changes_ = 0;
};

TEST(Interleaving, SeededSchedulesKeepEveryRule) {
    constexpr unsigned seeds = 24;
    constexpr int steps = 60;
    for (unsigned seed = 1; seed <= seeds; ++seed) {
        SCOPED_TRACE(seed);
        Schedule schedule(seed);
        // Every other schedule quits at a step of its own.
        const int quitAt = seed % 2 == 0 ? schedule.pick(steps) : steps;
        for (int step = 0; step < quitAt && !testing::Test::HasFatalFailure(); ++step)
            schedule.step();
        if (quitAt < steps)
            expectGoesAtOnce(schedule);
        else
            schedule.finish();
        if (testing::Test::HasFailure())
            break;
    }
}

} // namespace
