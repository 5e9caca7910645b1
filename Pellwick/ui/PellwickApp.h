#pragma once

#include "AppModel.h"

#include <QDBusConnection>
#include <QObject>
#include <QPoint>
#include <QTimer>

#include <memory>

class AddressOpener;
class ColorSchemeSource;
class OnboardingView;
class PellwickView;
class QSystemTrayIcon;
class SettingsStore;
class StatusNotifierItem;
class Updater;

// The program's scene: the one model and updater for the whole run, the tray item showing the
// free space, and the panel it opens. The tray item is our StatusNotifierItem; where no
// watcher appears, an XEmbed tray icon takes its place, and with no tray at all the panel is
// an ordinary window.
class PellwickApp : public QObject {
    Q_OBJECT

public:
    PellwickApp(AppModel::Environment environment, std::shared_ptr<AddressOpener> opener,
                std::shared_ptr<ColorSchemeSource> colorScheme,
                QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~PellwickApp() override;

    // How long the tray item waits for a StatusNotifierWatcher before another tray is used.
    static constexpr std::chrono::milliseconds watcherGracePeriod{3000};
    // How often, without a watcher, the XEmbed tray is looked for (it may start or restart).
    static constexpr std::chrono::milliseconds trayPollInterval{2000};

    // Puts the item in the tray, or the fallback once no watcher came in time.
    void showInTray();
    // The start-up task: the model's start-up work and, until onboarding is done, the welcome
    // window.
    void start();
    // A second launch asked for the panel: it opens (never closes) where the tray is.
    void openPanel();
    // A click on the tray item: opens the panel anchored there, or closes it.
    void togglePanel(QPoint anchor);

    [[nodiscard]] AppModel& model() { return *model_; }
    [[nodiscard]] PellwickView& panel() { return *panel_; }
    [[nodiscard]] const StatusNotifierItem& statusItem() const { return *item_; }
    [[nodiscard]] const QSystemTrayIcon* trayIcon() const { return trayIcon_.get(); }
    // The welcome window, once the start-up task opened it.
    [[nodiscard]] const OnboardingView* welcomeWindow() const { return welcome_.get(); }

private:
    void updateTray();
    void useFallbackTray();
    void dropFallbackTray();
    void showPanelAsWindow();
    void leaveWindowMode();
    void openWelcomeWindow();
    void followColorScheme();
    [[nodiscard]] QPoint trayAnchor() const;

    std::shared_ptr<SettingsStore> settings_;
    std::shared_ptr<ColorSchemeSource> colorScheme_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<Updater> updater_;
    std::unique_ptr<PellwickView> panel_;
    std::unique_ptr<StatusNotifierItem> item_;
    std::unique_ptr<QSystemTrayIcon> trayIcon_;
    std::unique_ptr<OnboardingView> welcome_;
    QTimer watcherGrace_;
    QTimer trayPoll_;
    bool panelIsWindow_ = false;
    QPoint lastClick_;
};
