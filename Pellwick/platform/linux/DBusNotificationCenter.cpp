#include "platform/linux/DBusNotificationCenter.h"

#include <QCoro/QCoroDBus>
#include <QDBusMessage>
#include <QPointer>
#include <QVariantMap>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString objectPath = QStringLiteral("/org/freedesktop/Notifications");
const QString interfaceName = QStringLiteral("org.freedesktop.Notifications");
const QString applicationName = QStringLiteral("Pellwick");

constexpr int authorized = 2;
constexpr int denied = 1;

QDBusMessage busDaemonCall(const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), method);
    call.setArguments(arguments);
    return call;
}

// GCC 12 cannot compile QStringLiteral inside a coroutine, so the messages are built here.
QDBusMessage nameHasOwnerCall() {
    return busDaemonCall(QStringLiteral("NameHasOwner"), {service});
}

QDBusMessage listActivatableNamesCall() {
    return busDaemonCall(QStringLiteral("ListActivatableNames"));
}

QDBusMessage notifyCall(uint replacesId, const QString& title, const QString& body,
                        const QString& soundName) {
    QDBusMessage notify = QDBusMessage::createMethodCall(service, objectPath, interfaceName,
                                                         QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("sound-name"), soundName}};
    notify.setArguments(
        {applicationName, replacesId, QString(), title, body, QStringList(), hints, -1});
    return notify;
}

QString failureText(const QDBusMessage& reply) {
    return reply.errorMessage().isEmpty() ? QStringLiteral("No notification server answered.")
                                          : reply.errorMessage();
}

bool firstArgumentIsTrue(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().toBool();
}

bool listsName(const QDBusMessage& reply, const QString& name) {
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().toStringList().contains(name);
}

} // namespace

DBusNotificationCenter::DBusNotificationCenter(QDBusConnection connection, QObject* parent)
    : QObject(parent), connection_(std::move(connection)) {
    connection_.connect(service, objectPath, interfaceName, QStringLiteral("NotificationClosed"),
                        this, SLOT(forgetClosed(uint, uint)));
}

QCoro::Task<int> DBusNotificationCenter::authorizationStatus() {
    const QDBusConnection connection = connection_;
    if (!connection.isConnected())
        co_return denied;
    const QDBusMessage owned = co_await connection.asyncCall(nameHasOwnerCall());
    if (firstArgumentIsTrue(owned))
        co_return authorized;
    const QDBusMessage activatable = co_await connection.asyncCall(listActivatableNamesCall());
    co_return listsName(activatable, service) ? authorized : denied;
}

QCoro::Task<NotificationCenter::PermissionAnswer> DBusNotificationCenter::requestAuthorization() {
    const int status = co_await authorizationStatus();
    co_return Granted{status == authorized};
}

QCoro::Task<std::optional<QString>> DBusNotificationCenter::post(QString identifier, QString title,
                                                                 QString body, QString soundName) {
    const QPointer<DBusNotificationCenter> self(this);
    const QDBusConnection connection = connection_;
    const auto known = serverIds_.find(identifier);
    const uint replacesId = known == serverIds_.end() ? 0 : known->second;
    const QDBusMessage reply =
        co_await connection.asyncCall(notifyCall(replacesId, title, body, soundName));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return failureText(reply);
    if (self)
        self->serverIds_[identifier] = reply.arguments().constFirst().toUInt();
    co_return std::nullopt;
}

void DBusNotificationCenter::forgetClosed(uint serverId, uint) {
    std::erase_if(serverIds_, [serverId](const auto& entry) { return entry.second == serverId; });
}
