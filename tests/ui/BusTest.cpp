// What runs on a private session bus (ctest starts one under dbus-run-session): the tray item
// against a stand-in watcher, which the real tray hosts (tests/desktop) cannot show (the
// listing forms a watcher may use, GetAll marshalling, change signals only on a real change),
// and a second launch handing over to the first.
#include "ui/SingleInstance.h"
#include "ui/StatusNotifierItem.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>

// A stand-in for the tray host, on a bus connection of its own so the item really talks to
// it through the bus daemon: its watcher lists each item the way `listing` writes it, and
// the item's signals it listens to arrive in `received` (name and arguments).
class MockHost : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    MockHost(QDBusConnection bus, QString listing) : listing(std::move(listing)) {
        bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                           QDBusConnection::ExportAllContents);
        bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    }
    QStringList items() const {
        ++reads;
        return listed;
    }

    const QString listing;
    QStringList listed;
    mutable int reads = 0;
    QStringList received;

public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        listed.append(QString(listing)
                          .replace(QStringLiteral("SERVICE"), service)
                          .replace(QStringLiteral("UNIQUE"), message().service()));
    }
    void record(const QDBusMessage& message) {
        received << (QStringList{message.member()} + QVariant(message.arguments()).toStringList())
                        .join(QLatin1Char(' '));
    }

signals:
    void StatusNotifierItemUnregistered(const QString& service);
};

// Owns the name but never answers, as a program whose event loop has ended while it quits.
class QuittingInstance : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quenlix.Pellwick")

public slots:
    Q_SCRIPTABLE void OpenPanel() { setDelayedReply(true); }
};

namespace {

const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString itemPath = QStringLiteral("/StatusNotifierItem");

QDBusConnection connection(const char* name) {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QString::fromLatin1(name));
}

// Runs the event loop while waiting, so the item in this thread can answer.
QDBusMessage properties(const StatusNotifierItem& item, const char* method,
                        const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        item.serviceName(), itemPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QString::fromLatin1(method));
    message.setArguments(arguments);
    return connection("reader").call(message, QDBus::BlockWithGui);
}

QVariant property(const StatusNotifierItem& item, const char* name) {
    const QDBusMessage reply = properties(item, "Get", {itemInterface, QString::fromLatin1(name)});
    // An error's argument is its message, which is no QDBusVariant: an invalid value.
    return qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant();
}

class StatusNotifierItemTest : public testing::Test {
protected:
    void SetUp() override {
        // Only under dbus-run-session: the user's own session bus must never see test items.
        if (!std::getenv("PELLWICK_TEST_PRIVATE_BUS"))
            GTEST_SKIP() << "needs a private session bus (ctest runs it under dbus-run-session)";
    }
    void TearDown() override {
        for (const char* name : {"host", "first", "second", "third"})
            QDBusConnection::disconnectFromBus(QString::fromLatin1(name));
    }
};

class AppSingleInstanceOnBus : public StatusNotifierItemTest {};

// Whatever form the watcher lists the item in, another item leaving keeps it registered; the
// watcher no longer listing it is noticed, and the item registers again.
TEST_F(StatusNotifierItemTest, NoticesWhenTheWatcherStopsListingIt) {
    for (const char* listing :
         {"SERVICE", "SERVICE/StatusNotifierItem", "UNIQUE@/StatusNotifierItem"}) {
        SCOPED_TRACE(listing);
        MockHost host(connection("host"), QString::fromLatin1(listing));
        StatusNotifierItem item;
        QSignalSpy lost(&item, &StatusNotifierItem::unregistered);
        ASSERT_TRUE(QTest::qWaitFor([&item] { return item.isRegistered(); }, 5000));

        emit host.StatusNotifierItemUnregistered(QStringLiteral("org.kde.StatusNotifierItem-2"));
        ASSERT_TRUE(QTest::qWaitFor([&host] { return host.reads == 1; }, 5000));
        property(item, "Id"); // a round trip: the item has read the listing
        EXPECT_TRUE(item.isRegistered());
        const QString dropped = item.serviceName();
        host.listed.clear();
        emit host.StatusNotifierItemUnregistered(QStringLiteral("org.kde.StatusNotifierItem-2"));
        EXPECT_TRUE(QTest::qWaitFor([&lost] { return lost.count() == 1; }, 5000));
        // Back a moment later, under a fresh name: a host may keep failing for the old one.
        EXPECT_TRUE(QTest::qWaitFor([&item] { return item.isRegistered(); }, 5000));
        EXPECT_NE(item.serviceName(), dropped);
    }
}

// Change signals go only with a real change. Hosts then read everything at once; one
// property that cannot be marshalled fails the lot.
TEST_F(StatusNotifierItemTest, SignalsOnlyRealChangesAndGetAllMarshalsThemWithTheColour) {
    MockHost host(connection("host"), QStringLiteral("SERVICE"));
    StatusNotifierItem item;
    ASSERT_TRUE(QTest::qWaitFor([&item] { return item.isRegistered(); }, 5000));
    item.setFigureInIcon(false);
    for (const char* name : {"NewTitle", "NewToolTip", "XAyatanaNewLabel", "NewIcon"})
        ASSERT_TRUE(connection("host").connect(item.serviceName(), itemPath, itemInterface,
                                               QString::fromLatin1(name), &host,
                                               SLOT(record(QDBusMessage))));
    // The match rules reach the bus daemon asynchronously; a round trip settles them.
    property(item, "Id");

    for (int round = 0; round < 2; ++round) {
        item.setTitle(QStringLiteral("42 GB"));
        item.setIcon(QStringLiteral("exclamationmark.circle.fill"), QStringLiteral("9"),
                     QColor(255, 0, 0));
        ASSERT_TRUE(QTest::qWaitFor([&] { return host.received.size() >= 4; }, 5000));
        property(item, "Id"); // a second signal would have arrived by now
        EXPECT_EQ(host.received, (QStringList{"NewTitle", "NewToolTip",
                                              "XAyatanaNewLabel 42 GB 42 GB", "NewIcon"}))
            << round;
    }

    const QDBusMessage all = properties(item, "GetAll", {itemInterface});
    ASSERT_EQ(all.type(), QDBusMessage::ReplyMessage) << all.errorMessage().toStdString();
    const auto properties = qdbus_cast<QVariantMap>(all.arguments().first());
    EXPECT_EQ(properties.value("XAyatanaLabel").toString(), "42 GB");
    EXPECT_EQ(properties.value("IconName").toString(), "dialog-warning-symbolic");
    // GNOME's AppIndicator host drops an item whose Menu it cannot read.
    EXPECT_EQ(qvariant_cast<QDBusObjectPath>(properties.value("Menu")).path(), "/MenuBar");
    StatusNotifierToolTip toolTip;
    qvariant_cast<QDBusArgument>(properties.value("ToolTip")) >> toolTip;
    EXPECT_EQ(toolTip.title, "42 GB");
    StatusNotifierPixmaps pixmaps;
    qvariant_cast<QDBusArgument>(properties.value("IconPixmap")) >> pixmaps;
    bool sawOpaqueRed = false;
    for (const auto& pixmap : pixmaps) {
        ASSERT_EQ(pixmap.argb.size(), pixmap.width * pixmap.height * 4);
        // Network byte order: alpha, red, green, blue.
        for (qsizetype i = 0; i + 3 < pixmap.argb.size(); i += 4)
            sawOpaqueRed |= pixmap.argb.mid(i, 4) == QByteArray("\xff\xff\0\0", 4);
    }
    EXPECT_TRUE(sawOpaqueRed);

    // The figure drawn into the icon replaces the theme icon: a new icon, once.
    QSignalSpy icons(&item, &StatusNotifierItem::NewIcon);
    item.setFigureInIcon(true);
    item.setFigureInIcon(true);
    EXPECT_EQ(icons.count(), 1);
    EXPECT_EQ(property(item, "IconName").toString(), "");
    EXPECT_NE(item.iconPixmap().value(0).argb, pixmaps.value(0).argb);
}

// A second launch asks the first to open its panel. Quit gives the name up at once, and a
// launch that asked a program which then went away takes the name itself: either way the
// launch ends with a running Pellwick.
TEST_F(AppSingleInstanceOnBus, SecondLaunchOpensTheFirstsPanelOrRunsWhenTheFirstQuits) {
    SingleInstance first(connection("first"));
    QSignalSpy opened(&first, &SingleInstance::openPanelRequested);
    ASSERT_TRUE(first.claim());
    SingleInstance second(connection("second"));
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(opened.count() == 1 || opened.wait(5000));
    first.release();
    EXPECT_TRUE(second.claim());
    second.release();

    QuittingInstance quitting;
    {
        // No copy may outlive this block: a connection closes with its last reference.
        auto dying = connection("dying");
        dying.registerObject(SingleInstance::objectPath, &quitting,
                             QDBusConnection::ExportScriptableSlots);
        ASSERT_TRUE(dying.registerService(SingleInstance::serviceName));
    }
    // It goes while the launch waits for its answer.
    QTimer::singleShot(0, [] { QDBusConnection::disconnectFromBus(QStringLiteral("dying")); });
    SingleInstance third(connection("third"));
    EXPECT_TRUE(third.claim());
    third.release();
}

} // namespace

#include "BusTest.moc"
