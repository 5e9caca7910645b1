#pragma once

#include "AppModel.h"
#include "Clock.h"
#include "UtilityTask.h"
#include "core/CleanerMeasurement.h"
#include "platform/FolderChooser.h"
#include "platform/LoginItem.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsStore.h"
#include "platform/SystemLog.h"
#include "platform/VolumeCapacity.h"
#include "platform/linux/ProcessRunningApplications.h"
#include "support/TempTree.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QHash>
#include <QTest>
#include <QVariant>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>

// Stand-ins for the desktop services, so model tests decide every input.
class FakeVolume : public VolumeCapacity {
public:
    std::optional<Figures> figures = Figures{std::nullopt, std::nullopt};
    mutable int reads = 0;

    [[nodiscard]] std::optional<Figures> read(const std::filesystem::path&) const override {
        ++reads;
        return figures;
    }
};

class FakeSettings : public SettingsStore {
public:
    QHash<QString, QVariant> values;

    [[nodiscard]] std::optional<bool> boolValue(const QString& key) const override {
        return typed<bool>(key);
    }
    [[nodiscard]] std::optional<double> doubleValue(const QString& key) const override {
        return typed<double>(key);
    }
    [[nodiscard]] std::optional<QStringList> stringListValue(const QString& key) const override {
        return typed<QStringList>(key);
    }
    void setBool(const QString& key, bool value) override { values.insert(key, value); }
    void setDouble(const QString& key, double value) override { values.insert(key, value); }
    void setStringList(const QString& key, const QStringList& value) override {
        values.insert(key, value);
    }

private:
    // A value of another type counts as absent, as in a hand-edited file.
    template <typename T> std::optional<T> typed(const QString& key) const {
        const QVariant value = values.value(key);
        return value.metaType() == QMetaType::fromType<T>() ? std::optional(value.value<T>())
                                                            : std::nullopt;
    }
};

class FakeClock : public Clock {
public:
    FileTime current = std::chrono::system_clock::now();
    [[nodiscard]] FileTime now() const override { return current; }
};

// The process list, read from the worker threads the model asks on; tests change `names` only
// while no worker runs.
struct FakeProcesses {
    ProcessNames names;
    std::atomic<int> calls = 0;
};

class FakeLoginItem : public LoginItem {
public:
    bool enabled = false;
    bool refuses = false; // the desktop keeps the old state, as a refused registration does
    [[nodiscard]] bool isEnabled() const override { return enabled; }
    void setEnabled(bool on) override {
        if (!refuses)
            enabled = on;
    }
};

class FakeFolderChooser : public FolderChooser {
public:
    std::optional<QStringList> answer;
    QCoro::Task<std::optional<QStringList>> chooseFolders(std::optional<QString>) override {
        co_return answer;
    }
};

class FakeNotificationCenter : public NotificationCenter {
public:
    int status = 2;
    int requests = 0;
    QStringList posts; // the identifier of each notification posted

    QCoro::Task<int> authorizationStatus() override { co_return status; }
    QCoro::Task<PermissionAnswer> requestAuthorization() override {
        ++requests;
        co_return Granted{true};
    }
    QCoro::Task<std::optional<QString>> post(QString identifier, QString, QString,
                                             QString) override {
        posts.append(identifier);
        co_return std::nullopt;
    }
};

// Each line starts with its level: "info " or "error ".
class FakeSystemLog : public SystemLog {
public:
    QStringList lines;
    void info(const QString& message) override { lines.append(QStringLiteral("info ") + message); }
    void error(const QString& message) override {
        lines.append(QStringLiteral("error ") + message);
    }
};

// Where a stand-in for blocking engine work waits: open, every call goes through at once; held,
// the next calls wait until the test opens it. A failing gate makes calls throw, as a worker
// that cannot start a thread or runs out of memory does.
class Gate {
public:
    std::atomic<bool> failing = false;
    std::atomic<int> entered = 0;

    // On the worker thread, before the work.
    void enter() {
        ++entered;
        std::unique_lock lock(mutex_);
        if (held_ > 0) {
            --held_;
            ++waiting_;
            changed_.wait(lock, [this] { return open_; });
            --waiting_;
        }
        if (failing)
            throw std::runtime_error("stand-in failure");
    }
    void hold(int calls = 1'000'000) {
        std::lock_guard lock(mutex_);
        open_ = false;
        held_ = calls;
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        held_ = 0;
        changed_.notify_all();
    }
    [[nodiscard]] int waiting() const {
        std::lock_guard lock(mutex_);
        return waiting_;
    }
    // Until `count` calls wait here (or twenty seconds passed). The main thread's events go on
    // meanwhile: the work that reaches the gate may first need a step there.
    bool waitForWaiting(int count) {
        return QTest::qWaitFor([&] { return waiting() >= count; }, 20'000);
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int held_ = 0;
    int waiting_ = 0;
    bool open_ = true;
};

// A temp home folder and a fake for every service the model uses.
struct ModelFixture {
    TempTree home;
    std::shared_ptr<FakeVolume> volume = std::make_shared<FakeVolume>();
    std::shared_ptr<FakeSettings> settings = std::make_shared<FakeSettings>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeProcesses> processes = std::make_shared<FakeProcesses>();
    std::shared_ptr<CustomLocations> discovered = std::make_shared<CustomLocations>();
    std::shared_ptr<FakeLoginItem> loginItem = std::make_shared<FakeLoginItem>();
    std::shared_ptr<FakeFolderChooser> chooser = std::make_shared<FakeFolderChooser>();
    std::shared_ptr<FakeNotificationCenter> center = std::make_shared<FakeNotificationCenter>();
    std::shared_ptr<FakeSystemLog> log = std::make_shared<FakeSystemLog>();
    // Blocking work passes these first; the engine does the rest. Measuring passes its gate
    // last: a held measurement is a slow one, whose sizes are those of the disk when it began.
    std::shared_ptr<Gate> discovery = std::make_shared<Gate>();
    std::shared_ptr<Gate> processList = std::make_shared<Gate>();
    std::shared_ptr<Gate> measurement = std::make_shared<Gate>();
    std::shared_ptr<Gate> projectScan = std::make_shared<Gate>();

    // Work a model left behind ends before the temp home goes and before the next test.
    ~ModelFixture() {
        for (const auto& gate : {discovery, processList, measurement, projectScan})
            gate->open();
        for (QThreadPool* pool :
             {&WorkerPools::measurement(), &WorkerPools::processes(), &WorkerPools::projects()})
            pool->waitForDone();
        QCoreApplication::processEvents();
    }

    [[nodiscard]] AppModel::Environment environment() const {
        return AppModel::Environment{
            .home = home.root(),
            .claudeScratch = home / "scratch",
            .volume = volume,
            .settings = settings,
            .clock = clock,
            .measureAll =
                [gate = measurement](const std::vector<CleanupItem>& items, FileTime now) {
                    auto sizes = Cleaner::measureAll(items, now);
                    gate->enter();
                    return sizes;
                },
            .findDormantProjects =
                [gate = projectScan](const std::vector<std::filesystem::path>& roots, FileTime now,
                                     int days) {
                    gate->enter();
                    return ProjectScanner::scan(roots, now, days);
                },
            .runningApplications = std::make_shared<ProcessRunningApplications>(),
            .listProcesses =
                [processes = processes, gate = processList] {
                    gate->enter();
                    ++processes->calls;
                    return processes->names;
                },
            .discoverToolCaches =
                [discovered = discovered, gate = discovery] {
                    gate->enter();
                    return *discovered;
                },
            .loginItem = loginItem,
            .folderChooser = chooser,
            .notifications = {center, log},
            .cleanOptions = {},
            .pollInterval = std::chrono::milliseconds(5),
        };
    }
};

// Exposes the state that other workflows set, so one workflow can be tested alone.
class TestableModel : public AppModel {
public:
    using AppModel::AppModel;
    using AppModel::setCustomLocations;
    using AppModel::setPhase;
    using AppModel::setRows;
    using AppModel::setRunningApps;
    using AppModel::setRunningProcesses;
};

// The model tests' setup: the fixture and a model over it, made once the test has set the
// inputs the model reads when it is made.
struct ModelUnderTest : ModelFixture {
    std::unique_ptr<TestableModel> model;

    // The model goes first: its work still waiting at a gate must not resume on a dead model.
    ~ModelUnderTest() { model.reset(); }
    TestableModel& make() {
        model = std::make_unique<TestableModel>(environment());
        return *model;
    }
    [[nodiscard]] const AppModel::Row* row(const std::string& id) const {
        for (const auto& row : model->rows())
            if (row.item.id == id)
                return &row;
        return nullptr;
    }
    [[nodiscard]] std::int64_t size(const std::string& id) const {
        return row(id) ? row(id)->size : -1;
    }
    template <typename Alternative> [[nodiscard]] bool phaseIs() const {
        return std::holds_alternative<Alternative>(model->phase());
    }
};

// Runs a workflow to its end, or gives up after twenty seconds (QCoro::waitFor would hang on a
// workflow that throws).
inline bool finishes(QCoro::Task<> task) {
    auto done = std::make_shared<bool>(false);
    task.then([done] { *done = true; }, [done](const std::exception&) { *done = true; });
    return QTest::qWaitFor([&] { return *done; }, 20'000);
}
