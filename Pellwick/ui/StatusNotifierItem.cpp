#include "ui/StatusNotifierItem.h"

#include "ui/DBusMenu.h"
#include "ui/Icons.h"
#include "ui/TrayFigure.h"

#include <QApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QFile>
#include <QPalette>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <unistd.h>
#include <utility>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString menuPath = QStringLiteral("/MenuBar");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString gnomeShell = QStringLiteral("gnome-shell");
constexpr int maxRetries = 5;
constexpr std::chrono::milliseconds retryDelay{1000};
// After a host dropped the item: 1, 2, 4 … 30 seconds apart, about two minutes in all.
constexpr int maxDropRetries = 8;
constexpr std::chrono::milliseconds maxDropRetryDelay{30'000};

// Hosts pick the image nearest the panel's size; these cover the usual panel heights, and
// twice the usual ones for screens scaled by 2.
constexpr int pixmapSizes[] = {16, 22, 24, 32, 44, 48, 64};

// QtDBus drops the whole connection when it meets a property of a type it cannot marshal, so
// the custom types are known before any object is exported.
void registerDBusTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<StatusNotifierPixmap>();
        qDBusRegisterMetaType<StatusNotifierPixmaps>();
        qDBusRegisterMetaType<StatusNotifierToolTip>();
        DBusMenu::registerDBusTypes();
        return true;
    }();
    Q_UNUSED(registered);
}

QString uniqueServiceName() {
    static std::atomic<int> instances = 0;
    return QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(getpid()).arg(++instances);
}

// The protocol wants each pixel as A, R, G, B bytes; QImage keeps them as native 32-bit words.
StatusNotifierPixmap toNetworkOrder(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    StatusNotifierPixmap pixmap{argb.width(), argb.height(), {}};
    pixmap.argb.reserve(argb.width() * argb.height() * 4);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const quint32*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const quint32 word = qToBigEndian(line[x]);
            pixmap.argb.append(reinterpret_cast<const char*>(&word), sizeof word);
        }
    }
    return pixmap;
}

// The short name the kernel keeps for a process; empty when it cannot be read.
QString processName(uint pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (pid == 0 || !comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(comm.read(64)).trimmed();
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierPixmap& pixmap) {
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.argb;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierPixmap& pixmap) {
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.argb;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierToolTip& toolTip) {
    argument.beginStructure();
    argument << toolTip.iconName << toolTip.iconPixmap << toolTip.title << toolTip.description;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierToolTip& toolTip) {
    argument.beginStructure();
    argument >> toolTip.iconName >> toolTip.iconPixmap >> toolTip.title >> toolTip.description;
    argument.endStructure();
    return argument;
}

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), serviceName_(uniqueServiceName()),
      menu_(new DBusMenu(this)), iconColor_(QApplication::palette().color(QPalette::WindowText)) {
    registerDBusTypes();
    renderPixmaps();
    exportOnBus();

    watcherWatcher_ = new QDBusServiceWatcher(watcherService, bus_,
                                              QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcherWatcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                loseRegistration();
                registrationRetries_ = 0;
                dropRetries_ = 0;
                if (!newOwner.isEmpty())
                    registerWithWatcher();
            });
    bus_.connect(watcherService, watcherPath, watcherService,
                 QStringLiteral("StatusNotifierItemUnregistered"), this,
                 SLOT(onItemUnregistered(QString)));
    bus_.connect(watcherService, watcherPath, watcherService,
                 QStringLiteral("StatusNotifierItemRegistered"), this,
                 SLOT(onItemRegistered(QString)));
    registerWithWatcher();
}

StatusNotifierItem::~StatusNotifierItem() {
    if (!isExported_)
        return;
    bus_.unregisterObject(itemPath);
    bus_.unregisterObject(menuPath);
    bus_.unregisterService(serviceName_);
}

void StatusNotifierItem::exportOnBus() {
    if (!bus_.isConnected())
        return;
    const bool objectExported = bus_.registerObject(itemPath, this,
                                                    QDBusConnection::ExportScriptableSlots |
                                                        QDBusConnection::ExportScriptableSignals |
                                                        QDBusConnection::ExportAllProperties);
    const bool menuExported = bus_.registerObject(menuPath, menu_,
                                                  QDBusConnection::ExportScriptableSlots |
                                                      QDBusConnection::ExportAllProperties);
    isExported_ = objectExported && menuExported && bus_.registerService(serviceName_);
}

// Without a watcher the call fails and nothing changes; the service watcher tries again when
// one appears.
void StatusNotifierItem::registerWithWatcher() {
    if (!isExported_)
        return;
    // Known before the host reads the properties, so it sees the icon meant for it.
    const QDBusReply<uint> pid = bus_.interface()->servicePid(watcherService);
    hostProcess_ = pid.isValid() ? processName(pid.value()) : QString();
    setFigureInIcon(!hostShowsLabel());
    QDBusMessage call = QDBusMessage::createMethodCall(
        watcherService, watcherPath, watcherService, QStringLiteral("RegisterStatusNotifierItem"));
    call << serviceName_;
    auto* reply = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    const bool watcherIsThere = pid.isValid();
    isRegistering_ = watcherIsThere;
    connect(reply, &QDBusPendingCallWatcher::finished, this,
            [this, watcherIsThere](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                isRegistering_ = false;
                if (!call->isError()) {
                    markRegistered();
                    return;
                }
                // A watcher still starting up may refuse the first attempts.
                if (watcherIsThere && !isRegistered_ && registrationRetries_++ < maxRetries)
                    retryRegistration(retryDelay);
            });
}

void StatusNotifierItem::retryRegistration(std::chrono::milliseconds delay) {
    isRegistering_ = true;
    QTimer::singleShot(delay, this, &StatusNotifierItem::registerWithWatcher);
}

// The new name is taken before the old one is given up, so the item is never nameless.
void StatusNotifierItem::renewServiceName() {
    const QString fresh = uniqueServiceName();
    if (!bus_.registerService(fresh))
        return;
    bus_.unregisterService(serviceName_);
    serviceName_ = fresh;
}

void StatusNotifierItem::markRegistered() {
    if (isRegistered_)
        return;
    isRegistered_ = true;
    emit registeredWithWatcher();
}

// Hosts that find items on the bus by themselves (GNOME's does at start-up) announce them
// without answering a registration of ours.
void StatusNotifierItem::onItemRegistered(const QString& service) {
    if (!isRegistered_ && isListed({service}))
        markRegistered();
}

// A host may accept the registration and drop the item a moment later (GNOME's extension does
// when a property it needs is missing); the watcher then announces an unregistration.
void StatusNotifierItem::onItemUnregistered(const QString&) {
    if (isRegistered_)
        checkStillListed();
}

void StatusNotifierItem::checkStillListed() {
    QDBusMessage get = QDBusMessage::createMethodCall(watcherService, watcherPath,
                                                      propertiesInterface, QStringLiteral("Get"));
    get << watcherService << QStringLiteral("RegisteredStatusNotifierItems");
    auto* reply = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusReply<QDBusVariant> items = *call;
        if (items.isValid() && isListed(items.value().variant().toStringList()))
            return;
        loseRegistration();
        // GNOME's host, seeing an item twice at its start, can drop the one it shows. Under load
        // it can also fail to set an item up and then fail again for the same name, several
        // times a second apart. A fresh name and a growing pause between attempts bring it back.
        if (dropRetries_ < maxDropRetries) {
            renewServiceName();
            retryRegistration(std::min(retryDelay * (1 << dropRetries_), maxDropRetryDelay));
            ++dropRetries_;
        }
    });
}

// Watchers list an item by its service name or its unique connection name, alone or followed
// by the object path ("NAME/PATH" in KDE's, "NAME@/PATH" in GNOME's).
bool StatusNotifierItem::isListed(const QStringList& registeredItems) const {
    const QString uniqueName = bus_.baseService();
    return std::any_of(registeredItems.begin(), registeredItems.end(),
                       [this, &uniqueName](const QString& entry) {
                           const auto end = std::find_if(entry.begin(), entry.end(), [](QChar c) {
                               return c == QLatin1Char('/') || c == QLatin1Char('@');
                           });
                           const QString service = entry.left(end - entry.begin());
                           return service == serviceName_ || service == uniqueName;
                       });
}

void StatusNotifierItem::loseRegistration() {
    if (!isRegistered_)
        return;
    isRegistered_ = false;
    emit unregistered();
}

bool StatusNotifierItem::hostShowsLabel() const {
    return hostProcess_ == gnomeShell;
}

QDBusObjectPath StatusNotifierItem::menu() const {
    return QDBusObjectPath(hostShowsLabel() ? QStringLiteral("/NO_DBUSMENU") : menuPath);
}

void StatusNotifierItem::setTitle(const QString& title) {
    if (title == title_)
        return;
    title_ = title;
    emit NewTitle();
    emit NewToolTip();
    emit XAyatanaNewLabel(title_, title_);
}

void StatusNotifierItem::setIcon(const QString& symbol, const QString& figure,
                                 const QColor& color) {
    if (symbol == symbol_ && figure == figure_ && color == iconColor_)
        return;
    symbol_ = symbol;
    figure_ = figure;
    iconColor_ = color;
    renderPixmaps();
    emit NewIcon();
}

void StatusNotifierItem::setFigureInIcon(bool figureInIcon) {
    if (figureInIcon == figureInIcon_)
        return;
    figureInIcon_ = figureInIcon;
    renderPixmaps();
    emit NewIcon();
}

QString StatusNotifierItem::category() const {
    return QStringLiteral("ApplicationStatus");
}

QString StatusNotifierItem::id() const {
    return QStringLiteral("pellwick");
}

QString StatusNotifierItem::status() const {
    return QStringLiteral("Active");
}

// A theme name wins over the images in every host, so it is left empty while the figure is
// drawn into the images.
QString StatusNotifierItem::iconName() const {
    if (figureInIcon_ && !figure_.isEmpty())
        return {};
    return themeIconName(symbol_);
}

StatusNotifierToolTip StatusNotifierItem::toolTip() const {
    return {{}, {}, title_, {}};
}

QString StatusNotifierItem::themeIconName(const QString& symbol) {
    if (symbol == QStringLiteral("exclamationmark.circle.fill"))
        return QStringLiteral("dialog-warning-symbolic");
    if (symbol == QStringLiteral("internaldrive"))
        return QStringLiteral("drive-harddisk-symbolic");
    return {};
}

void StatusNotifierItem::renderPixmaps() {
    pixmaps_.clear();
    const bool drawFigure = figureInIcon_ && !figure_.isEmpty();
    for (const int side : pixmapSizes) {
        const QImage image = drawFigure ? TrayFigure::image(figure_, iconColor_, side)
                                        : Icons::image(symbol_, iconColor_, QSize(side, side));
        if (!image.isNull())
            pixmaps_.append(toNetworkOrder(image));
    }
}

// GNOME Shell's AppIndicator extension (version 46) counts a press and its release as a
// double click and activates on it, but only until an Activate call succeeds; after that a
// single click does nothing. Answering with an error keeps one click one activation there.
void StatusNotifierItem::Activate(int x, int y) {
    emit activated(QPoint(x, y));
    if (calledFromDBus() && hostShowsLabel())
        sendErrorReply(QStringLiteral("com.quenlix.pellwick.Error.ActivationHandled"),
                       QStringLiteral("Activated; replied as an error so that the next single "
                                      "click activates again"));
}

// Pellwick has one action, the panel; a middle click and the wheel have nothing to do.
void StatusNotifierItem::SecondaryActivate(int, int) {
}

void StatusNotifierItem::ContextMenu(int x, int y) {
    emit contextMenuRequested(QPoint(x, y));
}

void StatusNotifierItem::Scroll(int, const QString&) {
}
