#pragma once

#include "platform/AddressOpener.h"

#include <QStringList>

#include <functional>
#include <optional>

// Opens addresses with the desktop's default handler; the notification-settings address opens
// the desktop's own notification settings where we know them (GNOME, KDE), else nothing.
class DesktopAddressOpener : public AddressOpener {
public:
    using Launcher = std::function<void(const QString& program, const QStringList& arguments)>;
    using UrlOpener = std::function<void(const QString& address)>;

    // By default: XDG_CURRENT_DESKTOP, a detached process and QDesktopServices::openUrl.
    DesktopAddressOpener();
    DesktopAddressOpener(QString currentDesktop, Launcher launch, UrlOpener openUrl);

    void open(const QString& address) override;

    // The command that opens the notification settings of the desktops named in
    // XDG_CURRENT_DESKTOP (a colon-separated list), if one of them is known.
    [[nodiscard]] static std::optional<QStringList>
    notificationSettingsCommand(const QString& currentDesktop);

private:
    QString currentDesktop_;
    Launcher launch_;
    UrlOpener openUrl_;
};
