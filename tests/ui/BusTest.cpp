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

// A stand-in for the tray host's watcher, on a bus connection of its own so the item really
// talks to it through the bus daemon. It lists each item the way `listing` writes it.
class MockWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    MockWatcher(QDBusConnection bus, QString listing) : bus_(bus), listing_(std::move(listing)) {
        bus_.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                            QDBusConnection::ExportScriptableSlots |
                                QDBusConnection::ExportScriptableSignals |
                                QDBusConnection::ExportAllProperties);
        bus_.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    }
    ~MockWatcher() override {
        bus_.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    }
    QStringList items() const {
        ++reads;
        return items_;
    }
    // Another item leaves, or (with `dropAll`) every item, as a host that gave up on them.
    void unregisterItems(bool dropAll) {
        if (dropAll)
            items_.clear();
        emit StatusNotifierItemUnregistered(QStringLiteral("org.kde.StatusNotifierItem-other"));
    }

    mutable int reads = 0;

public slots:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& service) {
        items_.append(QString(listing_)
                          .replace(QStringLiteral("SERVICE"), service)
                          .replace(QStringLiteral("UNIQUE"), message().service()));
    }

signals:
    Q_SCRIPTABLE void StatusNotifierItemUnregistered(const QString& service);

private:
    QDBusConnection bus_;
    QString listing_;
    QStringList items_;
};

// Receives the item's D-Bus signals on the reading connection.
class SignalCounter : public QObject {
    Q_OBJECT

public:
    int titles = 0;
    QStringList labels;

public slots:
    void onNewTitle() { ++titles; }
    void onNewLabel(const QString& label, const QString& guide) { labels << label << guide; }
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

QDBusConnection connection(const QString& name) {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

// Runs the event loop while waiting, so the item in this thread can answer.
QDBusMessage properties(const StatusNotifierItem& item, const QString& method,
                        const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        item.serviceName(), itemPath, QStringLiteral("org.freedesktop.DBus.Properties"), method);
    message.setArguments(arguments);
    return connection(QStringLiteral("reader")).call(message, QDBus::BlockWithGui);
}

QVariant property(const StatusNotifierItem& item, const QString& name) {
    const QDBusMessage reply = properties(item, QStringLiteral("Get"), {itemInterface, name});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

class StatusNotifierItemTest : public testing::Test {
protected:
    void SetUp() override {
        // Only under dbus-run-session: the user's own session bus must never see test items.
        if (!std::getenv("PELLWICK_TEST_PRIVATE_BUS"))
            GTEST_SKIP() << "needs a private session bus (ctest runs it under dbus-run-session)";
    }
    void TearDown() override {
        for (const char* name : {"first", "second", "third"})
            QDBusConnection::disconnectFromBus(QString::fromLatin1(name));
    }
};

class AppSingleInstanceOnBus : public StatusNotifierItemTest {};

// Whatever form the watcher lists the item in, another item leaving keeps it registered; the
// watcher no longer listing it is noticed.
TEST_F(StatusNotifierItemTest, NoticesWhenTheWatcherStopsListingIt) {
    for (const char* listing :
         {"SERVICE", "SERVICE/StatusNotifierItem", "UNIQUE@/StatusNotifierItem"}) {
        MockWatcher watcher(connection(QStringLiteral("watcher-listing")),
                            QString::fromLatin1(listing));
        StatusNotifierItem item;
        QSignalSpy lost(&item, &StatusNotifierItem::unregistered);
        ASSERT_TRUE(QTest::qWaitFor([&item] { return item.isRegistered(); }, 5000)) << listing;

        watcher.unregisterItems(false);
        ASSERT_TRUE(QTest::qWaitFor([&watcher] { return watcher.reads == 1; }, 5000)) << listing;
        property(item, QStringLiteral("Id")); // a round trip: the item has read the listing
        EXPECT_TRUE(item.isRegistered()) << listing;
        watcher.unregisterItems(true);
        EXPECT_TRUE(QTest::qWaitFor([&lost] { return lost.count() == 1; }, 5000)) << listing;
        EXPECT_FALSE(item.isRegistered()) << listing;
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher-listing"));
    }
}

// Hosts read everything at once; one property that cannot be marshalled fails the lot.
TEST_F(StatusNotifierItemTest, GetAllMarshalsEveryPropertyAndTheColouredPixmap) {
    StatusNotifierItem item;
    item.setFigureInIcon(false);
    item.setTitle(QStringLiteral("237 GB"));
    item.setIcon(QStringLiteral("internaldrive"), QStringLiteral("237"), QColor(255, 0, 0));

    const QDBusMessage all = properties(item, QStringLiteral("GetAll"), {itemInterface});
    ASSERT_EQ(all.type(), QDBusMessage::ReplyMessage) << all.errorMessage().toStdString();
    const auto properties = qdbus_cast<QVariantMap>(all.arguments().first());
    EXPECT_EQ(properties.value("XAyatanaLabel").toString(), "237 GB");
    // GNOME's AppIndicator host drops an item whose Menu it cannot read.
    EXPECT_EQ(qvariant_cast<QDBusObjectPath>(properties.value("Menu")).path(), "/MenuBar");

    StatusNotifierToolTip toolTip;
    qvariant_cast<QDBusArgument>(properties.value("ToolTip")) >> toolTip;
    EXPECT_EQ(toolTip.title, "237 GB");
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
}

TEST_F(StatusNotifierItemTest, TitleAndIconChangesAreSignalledOnlyWhenTheyAreReal) {
    StatusNotifierItem item;
    item.setFigureInIcon(false);
    SignalCounter counter;
    QDBusConnection bus = connection(QStringLiteral("reader"));
    ASSERT_TRUE(bus.connect(item.serviceName(), itemPath, itemInterface, QStringLiteral("NewTitle"),
                            &counter, SLOT(onNewTitle())));
    ASSERT_TRUE(bus.connect(item.serviceName(), itemPath, itemInterface,
                            QStringLiteral("XAyatanaNewLabel"), &counter,
                            SLOT(onNewLabel(QString, QString))));
    QSignalSpy toolTips(&item, &StatusNotifierItem::NewToolTip);
    QSignalSpy icons(&item, &StatusNotifierItem::NewIcon);
    // The match rules reach the bus daemon asynchronously; a round trip settles them.
    property(item, QStringLiteral("Id"));

    for (int round = 0; round < 2; ++round) {
        item.setTitle(QStringLiteral("42 GB"));
        item.setIcon(QStringLiteral("exclamationmark.circle.fill"), QStringLiteral("9"), Qt::black);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return counter.titles == 1 && counter.labels.size() == 2; }, 5000));
        property(item, QStringLiteral("Id")); // a second signal would have arrived by now
        EXPECT_EQ(counter.titles, 1) << round;
        EXPECT_EQ(counter.labels, (QStringList{"42 GB", "42 GB"})) << round;
        EXPECT_EQ(toolTips.count(), 1) << round;
        EXPECT_EQ(icons.count(), 1) << round;
    }
    EXPECT_EQ(property(item, QStringLiteral("IconName")).toString(), "dialog-warning-symbolic");

    // The figure drawn into the icon replaces the theme icon: a new icon, once.
    const StatusNotifierPixmaps symbol = item.iconPixmap();
    item.setFigureInIcon(true);
    item.setFigureInIcon(true);
    EXPECT_EQ(icons.count(), 2);
    EXPECT_EQ(property(item, QStringLiteral("IconName")).toString(), "");
    ASSERT_EQ(item.iconPixmap().size(), symbol.size());
    EXPECT_NE(item.iconPixmap().first().argb, symbol.first().argb);
}

TEST_F(AppSingleInstanceOnBus, SecondLaunchAsksTheFirstToOpenItsPanel) {
    SingleInstance first(connection(QStringLiteral("first")));
    QSignalSpy opened(&first, &SingleInstance::openPanelRequested);
    ASSERT_TRUE(first.claim());
    SingleInstance second(connection(QStringLiteral("second")));
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(opened.count() == 1 || opened.wait(5000));
}

// Quit gives the name up at once, and a launch that asked a program which then went away
// takes the name itself: either way the launch ends with a running Pellwick.
TEST_F(AppSingleInstanceOnBus, ALaunchWhileTheFirstQuitsRunsItself) {
    SingleInstance first(connection(QStringLiteral("first")));
    ASSERT_TRUE(first.claim());
    first.release();
    SingleInstance second(connection(QStringLiteral("second")));
    EXPECT_TRUE(second.claim());
    second.release();

    QuittingInstance quitting;
    {
        // No copy may outlive this block: a connection closes with its last reference.
        auto dying = connection(QStringLiteral("dying"));
        dying.registerObject(SingleInstance::objectPath, &quitting,
                             QDBusConnection::ExportScriptableSlots);
        ASSERT_TRUE(dying.registerService(SingleInstance::serviceName));
    }
    // It goes while the launch waits for its answer.
    QTimer::singleShot(0, [] { QDBusConnection::disconnectFromBus(QStringLiteral("dying")); });
    SingleInstance third(connection(QStringLiteral("third")));
    EXPECT_TRUE(third.claim());
    third.release();
}

} // namespace

#include "BusTest.moc"
