#include "platform/linux/DesktopAddressOpener.h"
#include "platform/QtPrinting.h"

#include <gtest/gtest.h>

namespace {

// Web addresses go to the desktop; the notification settings to the desktop's own tool, which
// only GNOME and KDE have.
TEST(DesktopAddressOpener, SendsWebAddressesToTheDesktopAndSettingsToItsTool) {
    const QStringList gnome{"gnome-control-center", "notifications"};
    const QStringList kde{"systemsettings", "kcm_notifications"};
    const std::pair<QString, QStringList> desktops[] = {
        {"GNOME", gnome}, {"ubuntu:GNOME", gnome}, {"KDE", kde}, {"XFCE", {}}, {"", {}},
    };
    for (const auto& [desktop, tool] : desktops) {
        QStringList opened;
        QStringList launched;
        DesktopAddressOpener opener(
            desktop,
            [&launched](const QString& program, const QStringList& arguments) {
                launched = QStringList{program} + arguments;
            },
            [&opened](const QString& address) { opened << address; });
        opener.open(QStringLiteral("https://example.org/support"));
        opener.open(AddressOpener::notificationSettingsAddress);
        EXPECT_EQ(opened, QStringList{"https://example.org/support"}) << desktop.toStdString();
        EXPECT_EQ(launched, tool) << desktop.toStdString();
    }
}

} // namespace
