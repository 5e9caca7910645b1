// Runs against python3-dbusmock's notification daemon on a private session bus (the CTest entry
// starts the whole suite under dbus-run-session). The mock's log records every call it got.
#include "platform/linux/DBusNotificationCenter.h"
#include "Notifier.h"
#include "platform/QtPrinting.h"
#include "support/FakeEnvironment.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

const QString notificationsName = QStringLiteral("org.freedesktop.Notifications");

bool serverIsOnTheBus() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(notificationsName);
}

// Without a server, notifications count as denied and posting is logged, not thrown. With one,
// the alert stays one notification: each replaces the last.
TEST(DBusNotificationCenter, TheAlertReplacesTheLast) {
    if (!qEnvironmentVariableIsSet("PELLWICK_TEST_PRIVATE_BUS"))
        GTEST_SKIP() << "needs a private session bus (run through ctest)";
    ASSERT_TRUE(QTest::qWaitFor([] { return !serverIsOnTheBus(); }, 10'000))
        << "a notification server is already running";
    const TempTree tree;
    const QString logPath = QString::fromStdString((tree / "notifications.log").string());
    const auto log = std::make_shared<FakeSystemLog>();
    const Notifier::Context context{std::make_shared<DBusNotificationCenter>(), log};
    const auto postAndWait = [&](std::int64_t freeBytes, std::int64_t sweepableBytes) {
        const auto before = log->lines.size();
        Notifier::postLowSpace(context, freeBytes, sweepableBytes);
        return QTest::qWaitFor([&] { return log->lines.size() > before; }, 20'000);
    };
    EXPECT_EQ(QCoro::waitFor(Notifier::requestAuthorization(context)), 1);
    ASSERT_TRUE(postAndWait(4'200'000'000, 0));
    EXPECT_TRUE(log->lines.last().startsWith(QStringLiteral("error Could not post notification: ")))
        << log->lines.last().toStdString();

    // Debian's dbusmock is a module of the system interpreter, not of any python3 on PATH.
    QProcess mock;
    mock.start(QStringLiteral("/usr/bin/python3"),
               {"-m", "dbusmock", "--template", "notification_daemon", "-l", logPath});
    ASSERT_TRUE(QTest::qWaitFor(serverIsOnTheBus, 20'000))
        << mock.readAllStandardError().toStdString();
    EXPECT_EQ(QCoro::waitFor(Notifier::requestAuthorization(context)), 2);

    log->lines.clear();
    ASSERT_TRUE(postAndWait(4'200'000'000, 11'000'000'000));
    ASSERT_TRUE(postAndWait(3'100'000'000, 0));
    EXPECT_EQ(log->lines, QStringList(2, "info Posted low-space notification"));

    QFile mockLog(logPath);
    ASSERT_TRUE(mockLog.open(QIODevice::ReadOnly));
    const QStringList calls =
        QString::fromUtf8(mockLog.readAll()).split(u'\n').filter(QStringLiteral(" Notify "));
    ASSERT_EQ(calls.size(), 2) << calls.join(u'\n').toStdString();
    EXPECT_TRUE(calls[0].contains(
        QStringLiteral("\"Pellwick\" 0 \"\" \"Psst, your computer is getting full\" \"Only 4.2 "
                       "GB left. I found 11 GB that's safe to sweep.\"")))
        << calls[0].toStdString();
    // The mock numbers notifications from 1: the second names the first as the one it replaces.
    EXPECT_TRUE(calls[1].contains(QStringLiteral(
        "\"Pellwick\" 1 \"\" \"Psst, your computer is getting full\" \"Only 3.1 GB left.\"")))
        << calls[1].toStdString();
    EXPECT_TRUE(calls[1].contains(QStringLiteral("\"sound-name\": \"message-new-instant\"")))
        << calls[1].toStdString();
}

} // namespace
