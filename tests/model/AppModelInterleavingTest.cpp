// Seeded schedules of everything the user, the poll loop and the start-up work can do, against
// an engine whose blocking work waits until the schedule releases it (or makes it throw). The
// rules that must hold are checked as the phase changes and after every step.
#include "AppModel.h"
#include "support/FakeEnvironment.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <random>

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

template <typename Alternative> bool holds(const AppModel::Phase& phase) {
    return std::holds_alternative<Alternative>(phase);
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

class Schedule : public ModelFixture {
public:
    explicit Schedule(unsigned seed) : random_(seed) {
        findProjects = oneProjectPerRoot;
        home.file(".npm/_cacache/a", 20'000);
        // A root that became a link: sweeping pip's cache fails (until the user deselects it).
        home.file("Library/Caches/pip/b", 20'000);
        home.file("elsewhere/keep", 1'000);
        home.link(".cache/pip", home / "elsewhere");
        volume->figures = VolumeCapacity::Figures{1'000'000'000, 500'000'000'000};
        settings->values.insert(QStringLiteral("thresholdGB"), 20.0); // low: alerts rescan
        for (const auto& gate : {discovery, processList, projectScan})
            gate->hold();
        model_ = std::make_unique<AppModel>(environment());
        watch();
        model_->start();
    }
    ~Schedule() { model_.reset(); }

    void step() {
        switch (pick(14)) {
        case 0:
            track(model_->refresh());
            break;
        case 1:
            track(model_->sweep());
            break;
        case 2:
            track(model_->scanProjects());
            break;
        case 3:
            model_->setProjectRoots(someRoots());
            break;
        case 4:
            chooser->answer = QStringList{QString::fromStdString(folder(pick(3)).string())};
            track(model_->addProjectFolders());
            break;
        case 5:
            dismissing_ = true;
            model_->dismissOutcome();
            dismissing_ = false;
            break;
        case 6:
            clock->current += 61s;
            track(model_->pollPass());
            break;
        case 7:
            measurement->fail(pick(3) == 0);
            break;
        case 8:
            toggleOne();
            break;
        default:
            releaseOne();
            break;
        }
        settle();
        checkProjects();
    }

    // Quitting: the model goes at once, whatever still runs.
    void quit() {
        QElapsedTimer quitting;
        quitting.start();
        model_.reset();
        EXPECT_LT(quitting.elapsed(), 1000);
    }

    // Everything released and finished: no flag stays set, and a sweep still runs.
    void finish() {
        for (const auto& gate : {discovery, processList, projectScan, measurement})
            gate->open();
        measurement->fail(false);
        ASSERT_TRUE(QTest::qWaitFor([this] { return workflows_->running == 0; }, 10'000));
        settle();
        EXPECT_FALSE(model_->isScanningProjects());
        EXPECT_FALSE(holds<AppModel::Scanning>(model_->phase()));
        EXPECT_FALSE(holds<AppModel::Sweeping>(model_->phase()));
        home.file(".npm/_cacache/b", 20'000);
        QCoro::waitFor(model_->scan());
        if (model_->sweepTargets().empty())
            model_->toggle("npm-cache"); // the schedule deselected it
        ASSERT_FALSE(model_->sweepTargets().empty());
        QCoro::waitFor(model_->sweep());
        EXPECT_TRUE(holds<AppModel::Done>(model_->phase()) ||
                    holds<AppModel::Failed>(model_->phase()));
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

    void toggleOne() {
        std::vector<std::string> ids{"pip-cache", "npm-cache"};
        for (const auto& row : model_->rows())
            if (row.item.category == Category::projects)
                ids.push_back(row.item.id);
        model_->toggle(ids[std::size_t(pick(int(ids.size())))]);
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
        QObject::connect(model_.get(), &AppModel::phaseChanged, [this] {
            const AppModel::Phase& now = model_->phase();
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
            QObject::connect(model_.get(), signal, [this] { ++changes_; });
    }

    void track(QCoro::Task<> task) { run(std::move(task), workflows_, model_.get()); }

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

    // Projects, listed or in the rows, always belong to the roots searched now.
    void checkProjects() const {
        std::set<std::string> allowed;
        for (const auto& root : model_->projectRoots())
            allowed.insert("project:" + (root / "app").string());
        for (const auto& item : model_->projectItems())
            EXPECT_TRUE(allowed.contains(item.id)) << item.id;
        for (const auto& row : model_->rows())
            EXPECT_TRUE(row.item.category != Category::projects || allowed.contains(row.item.id))
                << row.item.id;
    }

    std::mt19937 random_;
    std::unique_ptr<AppModel> model_;
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
            schedule.quit();
        else
            schedule.finish();
        if (testing::Test::HasFailure())
            break;
    }
}

} // namespace
