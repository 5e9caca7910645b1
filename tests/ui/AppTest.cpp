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

#include <cstdlib>

namespace {

// A connection that was never opened: the tray item stays off any bus.
QDBusConnection noBus() {
    return QDBusConnection(QStringLiteral("pellwick-test-no-bus"));
}

TEST(AppTray, LabelFollowsFreeSpaceAndThresholdAtOnce) {
    ModelFixture fixture;
    PellwickApp app(fixture.environment(), std::make_shared<RecordingOpener>(),
                    std::make_shared<FixedColorScheme>(), noBus());
    const auto& item = app.statusItem();
    fixture.volume->figures = {237'500'000'000, 500'000'000'000};
    app.model().refreshFreeSpace();
    EXPECT_EQ(item.title(), "238 GB");
    EXPECT_EQ(item.toolTip().title, "238 GB");
    EXPECT_EQ(item.iconName(), "drive-harddisk-symbolic");

    app.model().setThresholdGB(240);
    EXPECT_EQ(item.iconName(), "dialog-warning-symbolic");
}

TEST(AppSingleInstance, WithoutASessionBusTheProgramRuns) {
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
};

TEST_F(AppSingleInstanceOnBus, SecondLaunchAsksTheFirstToOpenItsPanel) {
    SingleInstance first(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "first"));
    QSignalSpy opened(&first, &SingleInstance::openPanelRequested);
    ASSERT_TRUE(first.claim());

    SingleInstance second(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "second"));
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(opened.count() == 1 || opened.wait(5000));
    QDBusConnection::disconnectFromBus("first");
    QDBusConnection::disconnectFromBus("second");
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
    SingleInstance first(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "quit"));
    ASSERT_TRUE(first.claim());
    first.release();
    SingleInstance second(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "next"));
    EXPECT_TRUE(second.claim());
    second.release();

    QuittingInstance quitting;
    {
        // No copy may outlive this block: a connection closes with its last reference.
        auto dying = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "dying");
        dying.registerObject(SingleInstance::objectPath, &quitting,
                             QDBusConnection::ExportScriptableSlots);
        ASSERT_TRUE(dying.registerService(SingleInstance::serviceName));
    }
    // It goes while the launch waits for its answer.
    QTimer::singleShot(0, [] { QDBusConnection::disconnectFromBus("dying"); });
    SingleInstance third(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "third"));
    EXPECT_TRUE(third.claim());
    third.release();
    for (const char* name : {"quit", "next", "third"})
        QDBusConnection::disconnectFromBus(QString::fromLatin1(name));
}

TEST(AppStartUp, WelcomeWindowOpensUntilOnboardingIsCompleted) {
    for (const bool completed : {false, true}) {
        ModelFixture fixture;
        if (completed)
            fixture.settings->values.insert(QStringLiteral("onboardingCompleted"), true);
        PellwickApp app(fixture.environment(), std::make_shared<RecordingOpener>(),
                        std::make_shared<FixedColorScheme>(), noBus());
        app.start();
        const auto* welcome = app.welcomeWindow();
        EXPECT_EQ(welcome && welcome->isVisible(), !completed) << completed;
    }
}

} // namespace

#include "AppTest.moc"
