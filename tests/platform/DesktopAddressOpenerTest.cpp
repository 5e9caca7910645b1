#include "platform/linux/DesktopAddressOpener.h"

#include "platform/QtPrinting.h"

#include <gtest/gtest.h>

namespace {

struct DesktopCase {
    QString currentDesktop;
    std::optional<QStringList> command;
};

class NotificationSettingsCommandTest : public testing::TestWithParam<DesktopCase> {};

TEST_P(NotificationSettingsCommandTest, KnowsGnomeAndKde) {
    EXPECT_EQ(DesktopAddressOpener::notificationSettingsCommand(GetParam().currentDesktop),
              GetParam().command)
        << GetParam().currentDesktop.toStdString();
}

const QStringList gnome{QStringLiteral("gnome-control-center"), QStringLiteral("notifications")};
const QStringList kde{QStringLiteral("systemsettings"), QStringLiteral("kcm_notifications")};

INSTANTIATE_TEST_SUITE_P(Desktops, NotificationSettingsCommandTest,
                         testing::Values(DesktopCase{"GNOME", gnome},
                                         DesktopCase{"ubuntu:GNOME", gnome},
                                         DesktopCase{"KDE", kde}, DesktopCase{"XFCE", {}},
                                         DesktopCase{"", {}}));

TEST(DesktopAddressOpenerTest, SendsWebAddressesToTheDesktopAndSettingsToItsTool) {
    QStringList opened;
    QStringList launched;
    DesktopAddressOpener opener(
        QStringLiteral("KDE"),
        [&launched](const QString& program, const QStringList& arguments) {
            launched = QStringList{program} + arguments;
        },
        [&opened](const QString& address) { opened << address; });
    opener.open(QStringLiteral("https://example.org/support"));
    opener.open(AddressOpener::notificationSettingsAddress);
    EXPECT_EQ(opened, QStringList{QStringLiteral("https://example.org/support")});
    EXPECT_EQ(launched, kde);
}

TEST(DesktopAddressOpenerTest, DoesNothingForSettingsOnAnUnknownDesktop) {
    bool anything = false;
    DesktopAddressOpener opener(
        QStringLiteral("XFCE"),
        [&anything](const QString&, const QStringList&) { anything = true; },
        [&anything](const QString&) { anything = true; });
    opener.open(AddressOpener::notificationSettingsAddress);
    EXPECT_FALSE(anything);
}

} // namespace
