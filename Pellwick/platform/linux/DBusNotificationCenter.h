#pragma once

#include "platform/NotificationCenter.h"

#include <QDBusConnection>
#include <QObject>

#include <map>

// org.freedesktop.Notifications on the session bus. There is no permission to ask for: a
// notification can be shown (status 2) while a server owns the name or the bus can start one,
// otherwise not (status 1). An identifier stands for the server's id of the notification last
// shown under it, so the next one with that identifier replaces it.
class DBusNotificationCenter : public QObject, public NotificationCenter {
    Q_OBJECT

public:
    explicit DBusNotificationCenter(QDBusConnection connection = QDBusConnection::sessionBus(),
                                    QObject* parent = nullptr);

    [[nodiscard]] QCoro::Task<int> authorizationStatus() override;
    [[nodiscard]] QCoro::Task<PermissionAnswer> requestAuthorization() override;
    [[nodiscard]] QCoro::Task<std::optional<QString>>
    post(QString identifier, QString title, QString body, QString soundName) override;

private slots:
    void forgetClosed(uint serverId, uint reason);

private:
    QDBusConnection connection_;
    std::map<QString, uint> serverIds_;
};
