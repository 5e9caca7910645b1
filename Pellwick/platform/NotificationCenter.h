#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>
#include <variant>

// The desktop's notification service. Statuses are those of the notification permission:
// 0 not determined, 1 denied, 2 authorized, 3 provisional, 4 ephemeral.
class NotificationCenter {
public:
    struct Granted {
        bool granted = false;
    };
    struct Failed {
        QString message;
    };
    using PermissionAnswer = std::variant<Granted, Failed>;

    virtual ~NotificationCenter() = default;

    [[nodiscard]] virtual QCoro::Task<int> authorizationStatus() = 0;
    [[nodiscard]] virtual QCoro::Task<PermissionAnswer> requestAuthorization() = 0;
    // Shows a notification at once. A later one with the same identifier takes the place of
    // the earlier one while that is still listed. Answers the error's text, or none.
    [[nodiscard]] virtual QCoro::Task<std::optional<QString>>
    post(QString identifier, QString title, QString body, QString soundName) = 0;
};
