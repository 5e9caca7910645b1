#pragma once

#include <QString>

// Opens a web or settings address with the desktop's handler for it.
class AddressOpener {
public:
    // The address of the system's notification settings; each desktop maps it to its own page.
    static inline const QString notificationSettingsAddress =
        QStringLiteral("x-apple.systempreferences:com.apple.Notifications-Settings.extension");

    virtual ~AddressOpener() = default;

    virtual void open(const QString& address) = 0;
};
