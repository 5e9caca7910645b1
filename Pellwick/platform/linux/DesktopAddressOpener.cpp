#include "platform/linux/DesktopAddressOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

DesktopAddressOpener::DesktopAddressOpener()
    : DesktopAddressOpener(
          qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
          [](const QString& program, const QStringList& arguments) {
              QProcess::startDetached(program, arguments);
          },
          [](const QString& address) { QDesktopServices::openUrl(QUrl(address)); }) {
}

DesktopAddressOpener::DesktopAddressOpener(QString currentDesktop, Launcher launch,
                                           UrlOpener openUrl)
    : currentDesktop_(std::move(currentDesktop)), launch_(std::move(launch)),
      openUrl_(std::move(openUrl)) {
}

void DesktopAddressOpener::open(const QString& address) {
    if (address != notificationSettingsAddress) {
        openUrl_(address);
        return;
    }
    if (const auto command = notificationSettingsCommand(currentDesktop_))
        launch_(command->constFirst(), command->mid(1));
}

std::optional<QStringList>
DesktopAddressOpener::notificationSettingsCommand(const QString& currentDesktop) {
    for (const QString& desktop : currentDesktop.split(u':', Qt::SkipEmptyParts)) {
        const QString name = desktop.trimmed().toUpper();
        if (name == QLatin1String("GNOME"))
            return QStringList{QStringLiteral("gnome-control-center"),
                               QStringLiteral("notifications")};
        if (name == QLatin1String("KDE"))
            return QStringList{QStringLiteral("systemsettings"),
                               QStringLiteral("kcm_notifications")};
    }
    return std::nullopt;
}
