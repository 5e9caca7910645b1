#include "PanelTestSupport.h"

#include "ui/OnboardingView.h"
#include "ui/PellwickApp.h"
#include "ui/SingleInstance.h"
#include "ui/StatusNotifierItem.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace {

// A connection that was never opened: the tray item stays off any bus.
QDBusConnection noBus() {
    return QDBusConnection(QStringLiteral("pellwick-test-no-bus"));
}

QDBusConnection sessionBus(const char* name) {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QString::fromLatin1(name));
}

struct AppFixture : ModelFixture {
    PellwickApp app{environment(), std::make_shared<RecordingOpener>(),
                    std::make_shared<FixedColorScheme>(), noBus()};
};

// Whole gigabytes, halves up. No free space read yet (0 bytes) shows the product's name and
// is never low; a huge threshold saturates instead of overflowing.
TEST(AppTray, TitleAndIconFollowFreeSpaceAndThreshold) {
    const std::tuple<std::int64_t, double, const char*, bool> cases[] = {
        {0, 20, "Pellwick", false},
        {1, 20, "0 GB", true},
        {499'999'999, 0, "0 GB", false},
        {500'000'000, 20, "1 GB", true},
        {19'999'999'999, 20, "20 GB", true},
        {20'000'000'000, 20, "20 GB", false},
        {12'499'999'999, 12.5, "12 GB", true},
        {12'500'000'000, 12.5, "13 GB", false},
        {9'223'372'036'854'775'807, 20, "9223372037 GB", false},
        {9'000'000'000'000'000'000, 1e12, "9000000000 GB", true}};
    AppFixture fixture;
    for (const auto& [freeBytes, thresholdGB, title, isLow] : cases) {
        fixture.volume->figures = {freeBytes, std::max<std::int64_t>(freeBytes, 1)};
        fixture.app.model().refreshFreeSpace();
        fixture.app.model().setThresholdGB(thresholdGB);
        const auto& item = fixture.app.statusItem();
        EXPECT_EQ(item.title().toStdString(), title) << freeBytes;
        EXPECT_EQ(item.iconName(), isLow ? "dialog-warning-symbolic" : "drive-harddisk-symbolic")
            << freeBytes << " against " << thresholdGB;
    }
}

TEST(AppStartUp, WelcomeWindowOpensUntilOnboardingIsCompletedAndRunsWithoutABus) {
    for (const bool completed : {false, true}) {
        AppFixture fixture;
        fixture.settings->values.insert(QStringLiteral("onboardingCompleted"), completed);
        fixture.app.start();
        const auto* welcome = fixture.app.welcomeWindow();
        EXPECT_EQ(welcome && welcome->isVisible(), !completed) << completed;
    }
    SingleInstance instance(noBus());
    EXPECT_TRUE(instance.claim());
}

class AppSingleInstanceOnBus : public testing::Test {
protected:
    void SetUp() override {
        // Only under dbus-run-session: the user's own session bus must never see the name.
        if (!std::getenv("PELLWICK_TEST_PRIVATE_BUS"))
            GTEST_SKIP() << "needs a private session bus (ctest runs it under dbus-run-session)";
    }
    void TearDown() override {
        for (const char* name : {"first", "second", "third"})
            QDBusConnection::disconnectFromBus(QString::fromLatin1(name));
    }
};

TEST_F(AppSingleInstanceOnBus, SecondLaunchAsksTheFirstToOpenItsPanel) {
    SingleInstance first(sessionBus("first"));
    QSignalSpy opened(&first, &SingleInstance::openPanelRequested);
    ASSERT_TRUE(first.claim());
    SingleInstance second(sessionBus("second"));
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(opened.count() == 1 || opened.wait(5000));
}

// Owns the name but never answers, as a program whose event loop has ended while it quits.
class QuittingInstance : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quenlix.Pellwick")

public slots:
    Q_SCRIPTABLE void OpenPanel() { setDelayedReply(true); }
};

// Quit gives the name up at once, and a launch that asked a program which then went away
// takes the name itself: either way the launch ends with a running Pellwick.
TEST_F(AppSingleInstanceOnBus, ALaunchWhileTheFirstQuitsRunsItself) {
    SingleInstance first(sessionBus("first"));
    ASSERT_TRUE(first.claim());
    first.release();
    SingleInstance second(sessionBus("second"));
    EXPECT_TRUE(second.claim());
    second.release();

    QuittingInstance quitting;
    {
        // No copy may outlive this block: a connection closes with its last reference.
        auto dying = sessionBus("dying");
        dying.registerObject(SingleInstance::objectPath, &quitting,
                             QDBusConnection::ExportScriptableSlots);
        ASSERT_TRUE(dying.registerService(SingleInstance::serviceName));
    }
    // It goes while the launch waits for its answer.
    QTimer::singleShot(0, [] { QDBusConnection::disconnectFromBus(QStringLiteral("dying")); });
    SingleInstance third(sessionBus("third"));
    EXPECT_TRUE(third.claim());
    third.release();
}

} // namespace

#include "AppTest.moc"
