#pragma once

#include "platform/ColorSchemeSource.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QString>

// The desktop's colour scheme: org.freedesktop.appearance color-scheme from the desktop
// portal's Settings interface, followed through its SettingChanged signal. Where no portal
// answers, the desktop's own setting: GNOME's org.gnome.desktop.interface color-scheme
// (watched with `gsettings monitor`), or on KDE Plasma the window colour of the scheme in
// kdeglobals (watched as a file). Until an answer arrives there is no preference.
class DesktopColorScheme : public ColorSchemeSource {
    Q_OBJECT

public:
    struct Desktop {
        // XDG_CURRENT_DESKTOP: which desktop's own setting to fall back on.
        QString currentDesktop;
        // The folder of kdeglobals (XDG_CONFIG_HOME).
        QString configHome;
    };

    DesktopColorScheme(QDBusConnection bus, Desktop desktop, QObject* parent = nullptr);
    ~DesktopColorScheme() override;

    [[nodiscard]] ColorScheme colorScheme() const override { return scheme_; }

    // The portal's value: 1 dark, 2 light, anything else no preference. Read (the portal's
    // first version) wraps it in one more variant.
    [[nodiscard]] static ColorScheme fromPortalValue(const QVariant& value);
    // `gsettings get` output or a `gsettings monitor` line: 'prefer-dark', 'prefer-light',
    // 'default'.
    [[nodiscard]] static ColorScheme fromGnomeSetting(const QString& text);
    // kdeglobals: dark when the scheme's normal window background is dark.
    [[nodiscard]] static ColorScheme fromKdeGlobals(const QByteArray& contents);

private slots:
    // SettingChanged(group, key, value), taken as the whole message: Qt 6.4's QtDBus refuses
    // to connect a slot with a QDBusVariant parameter to the signal.
    void portalSettingChanged(const QDBusMessage& message);

private:
    void readPortal(const QString& method);
    void useDesktopSetting();
    void followKdeGlobals();
    void readKdeGlobals();
    void followGnomeSetting();
    void setScheme(ColorScheme scheme);

    QDBusConnection bus_;
    Desktop desktop_;
    ColorScheme scheme_ = ColorScheme::noPreference;
    QFileSystemWatcher kdeGlobals_;
    QProcess gnomeMonitor_;
};
