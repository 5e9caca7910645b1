#include "ui/StatusNotifierItem.h"
#include "PanelTestSupport.h"
#include "ui/DBusMenu.h"
#include "ui/PellwickApp.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

// A stand-in for the tray host's watcher, on a bus connection of its own so the item really
// talks to it through the bus daemon. It lists each item the way `listing` writes it.
class MockWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    explicit MockWatcher(QDBusConnection bus) : bus_(std::move(bus)) {
        bus_.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                            QDBusConnection::ExportScriptableSlots |
                                QDBusConnection::ExportScriptableSignals |
                                QDBusConnection::ExportAllProperties);
    }
    bool appear() { return bus_.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")); }
    bool vanish() {
        return bus_.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
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

    QString listing = QStringLiteral("SERVICE");
    mutable int reads = 0;

public slots:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& service) {
        const QString uniqueName = message().service();
        items_.append(QString(listing)
                          .replace(QStringLiteral("SERVICE"), service)
                          .replace(QStringLiteral("UNIQUE"), uniqueName));
        emit itemRegistered(service);
    }

signals:
    Q_SCRIPTABLE void StatusNotifierItemUnregistered(const QString& service);
    void itemRegistered(const QString& service);

private:
    QDBusConnection bus_;
    QStringList items_;
};

// Receives the item's D-Bus signals on the reading connection.
class SignalCounter : public QObject {
    Q_OBJECT

public slots:
    void onNewTitle() { emit newTitle(); }
    void onNewIcon() { emit newIcon(); }
    void onNewLabel(const QString& label, const QString& guide) { emit newLabel(label, guide); }

signals:
    void newTitle();
    void newIcon();
    void newLabel(const QString& label, const QString& guide);
};

namespace {

// Runs the event loop until the condition holds, for at most a few seconds.
template <typename Condition> bool waitUntil(Condition condition, int milliseconds = 5000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}

const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString itemPath = QStringLiteral("/StatusNotifierItem");

class StatusNotifierItemTest : public testing::Test {
protected:
    void SetUp() override {
        // Only under dbus-run-session: the user's own session bus must never see test items.
        if (!std::getenv("PELLWICK_TEST_PRIVATE_BUS"))
            GTEST_SKIP() << "needs a private session bus (ctest runs it under dbus-run-session)";
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    }

    static QDBusConnection connection(const QString& name) {
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    }

    // Runs the event loop while waiting, so the item in this thread can answer.
    static QVariant property(const StatusNotifierItem& item, const QString& name) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            item.serviceName(), itemPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << itemInterface << name;
        const QDBusMessage reply = reader().call(get, QDBus::BlockWithGui);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().first().value<QDBusVariant>().variant();
    }

    static QDBusConnection reader() { return connection(QStringLiteral("reader")); }
};

TEST_F(StatusNotifierItemTest, RegistersWithAWatcherThatIsAlreadyThere) {
    MockWatcher watcher(connection(QStringLiteral("watcher-present")));
    ASSERT_TRUE(watcher.appear());
    QSignalSpy registrations(&watcher, &MockWatcher::itemRegistered);

    StatusNotifierItem item;
    ASSERT_TRUE(item.isExported());
    ASSERT_TRUE(registrations.wait(5000));
    EXPECT_EQ(registrations.first().first().toString(), item.serviceName());
    EXPECT_TRUE(waitUntil([&item] { return item.isRegistered(); }));
    watcher.vanish();
}

TEST_F(StatusNotifierItemTest, RegistersWhenAWatcherAppearsAndAgainWhenItRestarts) {
    StatusNotifierItem item;
    ASSERT_TRUE(item.isExported());
    QSignalSpy accepted(&item, &StatusNotifierItem::registeredWithWatcher);
    EXPECT_FALSE(item.isRegistered());

    MockWatcher watcher(connection(QStringLiteral("watcher-later")));
    QSignalSpy registrations(&watcher, &MockWatcher::itemRegistered);
    ASSERT_TRUE(watcher.appear());
    ASSERT_TRUE(registrations.wait(5000));
    ASSERT_TRUE(waitUntil([&accepted] { return accepted.count() == 1; }));

    ASSERT_TRUE(watcher.vanish());
    ASSERT_TRUE(waitUntil([&item] { return !item.isRegistered(); }));
    ASSERT_TRUE(watcher.appear());
    ASSERT_TRUE(registrations.wait(5000));
    EXPECT_EQ(registrations.count(), 2);
    EXPECT_EQ(registrations.last().first().toString(), item.serviceName());
    watcher.vanish();
}

// Whatever form the watcher lists the item in, another item leaving keeps it registered; the
// watcher no longer listing it is noticed.
TEST_F(StatusNotifierItemTest, NoticesWhenTheWatcherStopsListingIt) {
    for (const QString& listing :
         {QStringLiteral("SERVICE"), QStringLiteral("SERVICE/StatusNotifierItem"),
          QStringLiteral("UNIQUE@/StatusNotifierItem")}) {
        MockWatcher watcher(connection(QStringLiteral("watcher-listing")));
        watcher.listing = listing;
        ASSERT_TRUE(watcher.appear());
        StatusNotifierItem item;
        QSignalSpy lost(&item, &StatusNotifierItem::unregistered);
        ASSERT_TRUE(waitUntil([&item] { return item.isRegistered(); }));

        watcher.unregisterItems(false);
        ASSERT_TRUE(waitUntil([&watcher] { return watcher.reads == 1; }));
        property(item, QStringLiteral("Id"));
        EXPECT_TRUE(item.isRegistered()) << listing.toStdString();
        watcher.unregisterItems(true);
        EXPECT_TRUE(waitUntil([&lost] { return lost.count() == 1; })) << listing.toStdString();
        EXPECT_FALSE(item.isRegistered());
        watcher.vanish();
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher-listing"));
    }
}

TEST_F(StatusNotifierItemTest, PropertiesReadBackOverTheBus) {
    StatusNotifierItem item;
    item.setFigureInIcon(false);
    item.setTitle(QStringLiteral("237 GB"));
    item.setIcon(QStringLiteral("internaldrive"), QStringLiteral("237"), QColor(255, 0, 0));

    EXPECT_EQ(property(item, QStringLiteral("Id")).toString(), "pellwick");
    EXPECT_EQ(property(item, QStringLiteral("Status")).toString(), "Active");
    EXPECT_EQ(property(item, QStringLiteral("Category")).toString(), "ApplicationStatus");
    EXPECT_EQ(property(item, QStringLiteral("Title")).toString(), "237 GB");
    EXPECT_EQ(property(item, QStringLiteral("XAyatanaLabel")).toString(), "237 GB");
    EXPECT_EQ(property(item, QStringLiteral("XAyatanaLabelGuide")).toString(), "237 GB");
    EXPECT_EQ(property(item, QStringLiteral("IconName")).toString(), "drive-harddisk-symbolic");
    EXPECT_FALSE(property(item, QStringLiteral("ItemIsMenu")).toBool());
    // GNOME's AppIndicator host drops an item whose Menu it cannot read.
    EXPECT_EQ(qvariant_cast<QDBusObjectPath>(property(item, QStringLiteral("Menu"))).path(),
              "/MenuBar");

    // Hosts read everything at once; one property that cannot be marshalled fails the lot.
    QDBusMessage getAll = QDBusMessage::createMethodCall(
        item.serviceName(), itemPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    getAll << itemInterface;
    EXPECT_EQ(reader().call(getAll, QDBus::BlockWithGui).type(), QDBusMessage::ReplyMessage);

    StatusNotifierToolTip toolTip;
    qvariant_cast<QDBusArgument>(property(item, QStringLiteral("ToolTip"))) >> toolTip;
    EXPECT_EQ(toolTip.title, "237 GB");

    StatusNotifierPixmaps pixmaps;
    qvariant_cast<QDBusArgument>(property(item, QStringLiteral("IconPixmap"))) >> pixmaps;
    ASSERT_FALSE(pixmaps.isEmpty());
    bool sawOpaqueRed = false;
    for (const auto& pixmap : pixmaps) {
        ASSERT_EQ(pixmap.argb.size(), pixmap.width * pixmap.height * 4);
        for (qsizetype i = 0; i + 3 < pixmap.argb.size(); i += 4) {
            // Network byte order: alpha, red, green, blue.
            const auto* pixel = reinterpret_cast<const unsigned char*>(pixmap.argb.constData() + i);
            sawOpaqueRed |= pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 0 && pixel[3] == 0;
        }
    }
    EXPECT_TRUE(sawOpaqueRed);
}

TEST_F(StatusNotifierItemTest, TitleChangesAreSignalledOnlyWhenTheyAreReal) {
    StatusNotifierItem item;
    SignalCounter counter;
    QDBusConnection bus = reader();
    ASSERT_TRUE(bus.connect(item.serviceName(), itemPath, itemInterface, QStringLiteral("NewTitle"),
                            &counter, SLOT(onNewTitle())));
    ASSERT_TRUE(bus.connect(item.serviceName(), itemPath, itemInterface,
                            QStringLiteral("XAyatanaNewLabel"), &counter,
                            SLOT(onNewLabel(QString, QString))));
    QSignalSpy titles(&counter, &SignalCounter::newTitle);
    QSignalSpy labels(&counter, &SignalCounter::newLabel);
    QSignalSpy toolTips(&item, &StatusNotifierItem::NewToolTip);
    // The match rules reach the bus daemon asynchronously; a round trip settles them.
    property(item, QStringLiteral("Id"));

    EXPECT_EQ(property(item, QStringLiteral("XAyatanaLabel")).toString(), "Pellwick");
    item.setTitle(QStringLiteral("42 GB"));
    ASSERT_TRUE(labels.wait(5000));
    ASSERT_TRUE(waitUntil([&titles] { return titles.count() == 1; }));
    EXPECT_EQ(labels.first().at(0).toString(), "42 GB");
    EXPECT_EQ(labels.first().at(1).toString(), "42 GB");
    EXPECT_EQ(toolTips.count(), 1);
    EXPECT_EQ(property(item, QStringLiteral("XAyatanaLabel")).toString(), "42 GB");

    item.setTitle(QStringLiteral("42 GB"));
    property(item, QStringLiteral("Id"));
    EXPECT_EQ(titles.count(), 1);
    EXPECT_EQ(labels.count(), 1);
    EXPECT_EQ(toolTips.count(), 1);
}

TEST_F(StatusNotifierItemTest, FigureInIconReplacesTheThemeIcon) {
    StatusNotifierItem item;
    item.setFigureInIcon(false);
    QSignalSpy icons(&item, &StatusNotifierItem::NewIcon);
    item.setIcon(QStringLiteral("exclamationmark.circle.fill"), QStringLiteral("9"), Qt::black);
    EXPECT_EQ(icons.count(), 1);
    EXPECT_EQ(property(item, QStringLiteral("IconName")).toString(), "dialog-warning-symbolic");
    const StatusNotifierPixmaps symbol = item.iconPixmap();

    item.setFigureInIcon(true);
    EXPECT_EQ(icons.count(), 2);
    EXPECT_EQ(property(item, QStringLiteral("IconName")).toString(), "");
    ASSERT_EQ(item.iconPixmap().size(), symbol.size());
    EXPECT_NE(item.iconPixmap().first().argb, symbol.first().argb);

    item.setFigureInIcon(true);
    item.setIcon(QStringLiteral("exclamationmark.circle.fill"), QStringLiteral("9"), Qt::black);
    EXPECT_EQ(icons.count(), 2);
}

TEST_F(StatusNotifierItemTest, ActivateOverTheBusReportsThePosition) {
    StatusNotifierItem item;
    QSignalSpy activations(&item, &StatusNotifierItem::activated);
    QDBusMessage activate = QDBusMessage::createMethodCall(
        item.serviceName(), itemPath, itemInterface, QStringLiteral("Activate"));
    activate << 120 << 8;
    reader().call(activate, QDBus::BlockWithGui);
    ASSERT_EQ(activations.count(), 1);
    EXPECT_EQ(activations.first().first().toPoint(), QPoint(120, 8));
}

TEST_F(StatusNotifierItemTest, ContextMenuOffersOpenAndQuit) {
    StatusNotifierItem item;
    const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");
    auto call = [&](const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            item.serviceName(), QStringLiteral("/MenuBar"), menuInterface, method);
        message.setArguments(arguments);
        return reader().call(message, QDBus::BlockWithGui);
    };
    const QDBusMessage layout = call(QStringLiteral("GetLayout"), {0, -1, QStringList()});
    ASSERT_EQ(layout.type(), QDBusMessage::ReplyMessage) << layout.errorMessage().toStdString();
    DBusMenuLayoutItem root;
    qvariant_cast<QDBusArgument>(layout.arguments().at(1)) >> root;
    ASSERT_EQ(root.children.size(), 2);
    EXPECT_EQ(root.children[0].properties.value("label").toString(), "Open Pellwick");
    EXPECT_EQ(root.children[1].properties.value("label").toString(), "Quit");

    QSignalSpy opens(&item.contextMenu(), &DBusMenu::openRequested);
    QSignalSpy quits(&item.contextMenu(), &DBusMenu::quitRequested);
    const QVariant noData = QVariant::fromValue(QDBusVariant(0));
    call(QStringLiteral("Event"), {root.children[0].id, QStringLiteral("hovered"), noData, 0u});
    call(QStringLiteral("Event"), {root.children[0].id, QStringLiteral("clicked"), noData, 0u});
    EXPECT_EQ(opens.count(), 1);
    call(QStringLiteral("Event"), {root.children[1].id, QStringLiteral("clicked"), noData, 0u});
    EXPECT_EQ(quits.count(), 1);
}

// At login the tray often starts after us: the panel that became a window drops down from the
// item again once a watcher takes the item.
TEST_F(StatusNotifierItemTest, AWatcherThatAppearsLateTakesOverFromTheWindow) {
    ModelFixture fixture;
    PellwickApp app(fixture.environment(), std::make_shared<RecordingOpener>(),
                    std::make_shared<FixedColorScheme>(), connection(QStringLiteral("app")));
    app.showInTray();
    const auto grace = static_cast<int>(PellwickApp::watcherGracePeriod.count());
    ASSERT_TRUE(waitUntil([&app] { return app.panel().isVisible(); }, grace + 5000));
    EXPECT_FALSE(app.panel().windowFlags().testFlag(Qt::FramelessWindowHint));

    MockWatcher watcher(connection(QStringLiteral("watcher-late-app")));
    ASSERT_TRUE(watcher.appear());
    ASSERT_TRUE(waitUntil([&app] { return !app.panel().isVisible(); }));
    app.togglePanel(QPoint(600, 10));
    EXPECT_TRUE(app.panel().isVisible());
    EXPECT_TRUE(app.panel().windowFlags().testFlag(Qt::FramelessWindowHint));
    app.togglePanel(QPoint(600, 10));
    EXPECT_FALSE(app.panel().isVisible());
    watcher.vanish();
}

} // namespace

#include "StatusNotifierItemTest.moc"
