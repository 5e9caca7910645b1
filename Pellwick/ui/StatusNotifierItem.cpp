#include "ui/StatusNotifierItem.h"

#include "ui/Icons.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QPainter>
#include <QPalette>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <unistd.h>
#include <utility>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemPath = QStringLiteral("/StatusNotifierItem");

// Hosts pick the image nearest the panel's size; these cover the usual panel heights.
constexpr int pixmapSizes[] = {16, 22, 24, 32, 48};

// QtDBus drops the whole connection when it meets a property of a type it cannot marshal, so
// the custom types are known before any object is exported.
void registerDBusTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<StatusNotifierPixmap>();
        qDBusRegisterMetaType<StatusNotifierPixmaps>();
        qDBusRegisterMetaType<StatusNotifierToolTip>();
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

// The figure as large as the square allows, bold, centred.
QImage figureImage(const QString& figure, const QColor& color, int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPixelSize(side);
    const QFontMetricsF metrics(font);
    const double scale =
        std::min(side / metrics.horizontalAdvance(figure), side * 0.75 / metrics.capHeight());
    font.setPixelSize(std::max(1, static_cast<int>(side * scale)));
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(image.rect(), Qt::AlignCenter, figure);
    return image;
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
      iconColor_(QApplication::palette().color(QPalette::WindowText)) {
    registerDBusTypes();
    renderPixmaps();
    exportOnBus();

    watcherWatcher_ = new QDBusServiceWatcher(watcherService, bus_,
                                              QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcherWatcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                isRegistered_ = false;
                if (!newOwner.isEmpty())
                    registerWithWatcher();
            });
    registerWithWatcher();
}

StatusNotifierItem::~StatusNotifierItem() {
    if (!isExported_)
        return;
    bus_.unregisterObject(itemPath);
    bus_.unregisterService(serviceName_);
}

void StatusNotifierItem::exportOnBus() {
    if (!bus_.isConnected())
        return;
    const bool objectExported = bus_.registerObject(itemPath, this,
                                                    QDBusConnection::ExportScriptableSlots |
                                                        QDBusConnection::ExportScriptableSignals |
                                                        QDBusConnection::ExportAllProperties);
    isExported_ = objectExported && bus_.registerService(serviceName_);
}

// Without a watcher the call fails and nothing changes; the service watcher tries again when
// one appears.
void StatusNotifierItem::registerWithWatcher() {
    if (!isExported_)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        watcherService, watcherPath, watcherService, QStringLiteral("RegisterStatusNotifierItem"));
    call << serviceName_;
    auto* reply = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (call->isError())
            return;
        isRegistered_ = true;
        emit registeredWithWatcher();
    });
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
        const QImage image = drawFigure ? figureImage(figure_, iconColor_, side)
                                        : Icons::image(symbol_, iconColor_, QSize(side, side));
        if (!image.isNull())
            pixmaps_.append(toNetworkOrder(image));
    }
}

void StatusNotifierItem::Activate(int x, int y) {
    emit activated(QPoint(x, y));
}

// Pellwick has one action, the panel; a middle click and the wheel have nothing to do.
void StatusNotifierItem::SecondaryActivate(int, int) {
}

void StatusNotifierItem::ContextMenu(int x, int y) {
    emit contextMenuRequested(QPoint(x, y));
}

void StatusNotifierItem::Scroll(int, const QString&) {
}
