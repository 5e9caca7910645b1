// Runs against python3-dbusmock's notification daemon on a private session bus (the CTest entry
// starts the whole suite under dbus-run-session). The mock's log records every call it got.
#include "platform/linux/DBusNotificationCenter.h"
#include "Notifier.h"
#include "platform/QtPrinting.h"
#include "support/FakeEnvironment.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QString notificationsName = QStringLiteral("org.freedesktop.Notifications");

bool serverIsOnTheBus() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(notificationsName);
}

class DBusNotificationCenterTest : public testing::Test {
protected:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("PELLWICK_TEST_PRIVATE_BUS"))
            GTEST_SKIP() << "needs a private session bus (run through ctest)";
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
        ASSERT_FALSE(serverIsOnTheBus()) << "a notification server is already running";
    }

    void TearDown() override {
        if (mock_.state() == QProcess::NotRunning)
            return;
        mock_.terminate();
        mock_.waitForFinished(10'000);
        ASSERT_TRUE(QTest::qWaitFor([] { return !serverIsOnTheBus(); }, 10'000));
    }

    void startServer() {
        // Debian's dbusmock is a module of the system interpreter, not of any python3 on PATH.
        mock_.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                     QStringLiteral("notification_daemon"), QStringLiteral("-l"), logPath()});
        ASSERT_TRUE(mock_.waitForStarted(10'000));
        ASSERT_TRUE(QTest::qWaitFor(serverIsOnTheBus, 20'000))
            << mock_.readAllStandardError().toStdString();
    }

    [[nodiscard]] QString logPath() const {
        return QString::fromStdString((tree_ / "notifications.log").string());
    }

    // The Notify calls the server received, one line each, in order.
    [[nodiscard]] QStringList notifyCalls() const {
        QFile log(logPath());
        if (!log.open(QIODevice::ReadOnly))
            return {};
        QStringList calls;
        for (const QByteArray& line : log.readAll().split('\n'))
            if (line.contains(" Notify "))
                calls << QString::fromUtf8(line);
        return calls;
    }

    void postAndWait(std::int64_t freeBytes, std::int64_t sweepableBytes) {
        const auto before = log_->lines.size();
        Notifier::postLowSpace(context_, freeBytes, sweepableBytes);
        ASSERT_TRUE(QTest::qWaitFor([&] { return log_->lines.size() > before; }, 20'000));
    }

    TempTree tree_;
    QProcess mock_;
    std::shared_ptr<FakeSystemLog> log_ = std::make_shared<FakeSystemLog>();
    Notifier::Context context_{std::make_shared<DBusNotificationCenter>(), log_};
};

// Without a server, notifications count as denied and posting is logged, not thrown. With one,
// the alert stays one notification: each replaces the last, unless the user closed it.
TEST_F(DBusNotificationCenterTest, TheAlertReplacesTheLastUnlessItWasClosed) {
    // The center learns of a close from the server's signal. This timer hears it too, and
    // starts: its timeout comes after the center's delivery, which the same signal queued. Both
    // listen from before the server starts, so neither can miss it.
    QTimer closed;
    closed.setSingleShot(true);
    ASSERT_TRUE(QDBusConnection::sessionBus().connect(
        QString(), QStringLiteral("/org/freedesktop/Notifications"), notificationsName,
        QStringLiteral("NotificationClosed"), &closed, SLOT(start())));
    QSignalSpy timeout(&closed, &QTimer::timeout);
    EXPECT_EQ(QCoro::waitFor(Notifier::authorizationStatus(context_)), 1);
    EXPECT_EQ(QCoro::waitFor(Notifier::requestAuthorization(context_)), 1);
    postAndWait(4'200'000'000, 0);
    ASSERT_EQ(log_->lines.size(), 2);
    EXPECT_TRUE(log_->lines[1].startsWith(QStringLiteral("error Could not post notification: ")))
        << log_->lines[1].toStdString();
    startServer();
    EXPECT_EQ(QCoro::waitFor(Notifier::authorizationStatus(context_)), 2);
    EXPECT_EQ(QCoro::waitFor(Notifier::requestAuthorization(context_)), 2);
    EXPECT_EQ(log_->lines.last(), QStringLiteral("info Notification status: 2"));

    log_->lines.clear();
    postAndWait(4'200'000'000, 11'000'000'000);
    postAndWait(3'100'000'000, 0);
    QDBusMessage close = QDBusMessage::createMethodCall(
        notificationsName, QStringLiteral("/org/freedesktop/Notifications"), notificationsName,
        QStringLiteral("CloseNotification"));
    close.setArguments({1});
    QDBusConnection::sessionBus().call(close);
    // The server sends the signal before its reply, so the timer may already have fired.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !timeout.isEmpty(); }, 20'000));
    postAndWait(2'000'000'000, 0);
    EXPECT_EQ(log_->lines, QStringList(3, "info Posted low-space notification"));

    const QStringList calls = notifyCalls();
    ASSERT_EQ(calls.size(), 3) << calls.join(u'\n').toStdString();
    for (const QString& call : calls)
        EXPECT_TRUE(call.contains(QStringLiteral("\"sound-name\": \"message-new-instant\"")))
            << call.toStdString();
    EXPECT_TRUE(calls[0].contains(
        QStringLiteral("\"Pellwick\" 0 \"\" \"Psst, your computer is getting full\" \"Only 4.2 "
                       "GB left. I found 11 GB that's safe to sweep.\"")))
        << calls[0].toStdString();
    // The mock numbers notifications from 1: the second names the first as the one it replaces.
    EXPECT_TRUE(calls[1].contains(QStringLiteral(
        "\"Pellwick\" 1 \"\" \"Psst, your computer is getting full\" \"Only 3.1 GB left.\"")))
        << calls[1].toStdString();
    EXPECT_TRUE(calls[2].contains(QStringLiteral("\"Pellwick\" 0 \"\""))) << calls[2].toStdString();
}

} // namespace
