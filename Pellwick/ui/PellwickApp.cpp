#include "ui/PellwickApp.h"

#include "Updater.h"
#include "platform/AddressOpener.h"
#include "platform/ColorSchemeSource.h"
#include "ui/DBusMenu.h"
#include "ui/Icons.h"
#include "ui/MenuBarLabel.h"
#include "ui/OnboardingView.h"
#include "ui/PellwickView.h"
#include "ui/SchemePalette.h"
#include "ui/StatusNotifierItem.h"
#include "ui/SystemStyle.h"
#include "ui/TrayFigure.h"

#include <QApplication>
#include <QCursor>
#include <QSystemTrayIcon>

namespace {

const QString onboardingKey = QStringLiteral("onboardingCompleted");

QColor trayColor(bool isLow) {
    const QPalette palette = QApplication::palette();
    return isLow ? SystemStyle::orange(palette) : SystemStyle::primary(palette);
}

} // namespace

PellwickApp::PellwickApp(AppModel::Environment environment, std::shared_ptr<AddressOpener> opener,
                         std::shared_ptr<ColorSchemeSource> colorScheme, QDBusConnection bus,
                         QObject* parent)
    : QObject(parent), settings_(environment.settings), colorScheme_(std::move(colorScheme)),
      model_(std::make_unique<AppModel>(std::move(environment))),
      updater_(std::make_unique<Updater>()),
      panel_(std::make_unique<PellwickView>(*model_, *updater_, std::move(opener))),
      item_(std::make_unique<StatusNotifierItem>(std::move(bus))) {
    followColorScheme();
    connect(item_.get(), &StatusNotifierItem::activated, this, &PellwickApp::togglePanel);
    connect(item_.get(), &StatusNotifierItem::contextMenuRequested, this,
            &PellwickApp::togglePanel);
    connect(&item_->contextMenu(), &DBusMenu::openRequested, this, &PellwickApp::openPanel);
    connect(&item_->contextMenu(), &DBusMenu::quitRequested, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
    connect(item_.get(), &StatusNotifierItem::registeredWithWatcher, this,
            &PellwickApp::dropFallbackTray);
    // A restarting watcher comes back within the grace period; one that dropped the item or
    // went for good leaves the fallback in charge.
    connect(item_.get(), &StatusNotifierItem::unregistered, this, &PellwickApp::showInTray);
    connect(model_.get(), &AppModel::freeBytesChanged, this, &PellwickApp::updateTray);
    connect(model_.get(), &AppModel::thresholdGBChanged, this, &PellwickApp::updateTray);
    connect(panel_.get(), &PellwickView::quitRequested, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);

    watcherGrace_.setSingleShot(true);
    watcherGrace_.setInterval(watcherGracePeriod);
    connect(&watcherGrace_, &QTimer::timeout, this, [this] {
        if (!item_->isRegistered())
            useFallbackTray();
    });
    trayPoll_.setInterval(trayPollInterval);
    connect(&trayPoll_, &QTimer::timeout, this, &PellwickApp::useFallbackTray);
    updateTray();
}

PellwickApp::~PellwickApp() = default;

void PellwickApp::showInTray() {
    if (item_->isRegistered())
        return;
    if (!item_->isExported()) {
        useFallbackTray();
        return;
    }
    watcherGrace_.start();
}

void PellwickApp::start() {
    model_->start();
    if (!settings_->boolValue(onboardingKey).value_or(false))
        openWelcomeWindow();
}

void PellwickApp::openWelcomeWindow() {
    if (!welcome_)
        welcome_ = std::make_unique<OnboardingView>(*model_, settings_);
    welcome_->showCentred();
}

// The palette is the program's own in both schemes, so the panel and the welcome window look
// the same on every desktop and every text keeps its contrast.
void PellwickApp::followColorScheme() {
    const auto apply = [this] {
        QApplication::setPalette(SchemePalette::forScheme(colorScheme_->colorScheme()));
        updateTray();
    };
    connect(colorScheme_.get(), &ColorSchemeSource::colorSchemeChanged, this, apply);
    apply();
}

void PellwickApp::updateTray() {
    const qint64 free = model_->freeBytes();
    const bool isLow = MenuBarLabel::isLow(free, model_->thresholdGB());
    const QString title = MenuBarLabel::titleText(free);
    const QString symbol = MenuBarLabel::iconName(isLow);
    const QString figure = MenuBarLabel::figureText(free);
    item_->setTitle(title);
    item_->setIcon(symbol, figure, trayColor(isLow));
    if (trayIcon_) {
        trayIcon_->setIcon(TrayFigure::icon(figure, symbol, trayColor(isLow)));
        trayIcon_->setToolTip(title);
    }
}

// Runs again every poll interval while no watcher has the item: an XEmbed tray that starts
// later takes over from the window, and one that restarts gets its icon back.
void PellwickApp::useFallbackTray() {
    if (item_->isRegistered())
        return;
    trayPoll_.start();
    // While a watcher considers our item, the toolkit's icon would be a second item in it.
    // Waiting also keeps the window up until the watcher answers: GNOME Shell answers once it
    // has started, and a window hidden while it was still starting stayed on the screen.
    if (item_->isRegistering())
        return;
    const bool trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    if (trayIcon_) {
        if (!trayAvailable) {
            trayIcon_.reset();
            watcherGrace_.start();
        }
        return;
    }
    if (!trayAvailable) {
        if (!watcherGrace_.isActive())
            showPanelAsWindow();
        return;
    }
    leaveWindowMode();
    trayIcon_ = std::make_unique<QSystemTrayIcon>();
    connect(trayIcon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // Two clicks in quick succession arrive as Trigger and DoubleClick; each one
                // toggles, as on every other host.
                if (reason != QSystemTrayIcon::MiddleClick)
                    togglePanel(trayAnchor());
            });
    updateTray();
    trayIcon_->show();
}

// Our own item and the toolkit's icon are never in the tray together.
void PellwickApp::dropFallbackTray() {
    watcherGrace_.stop();
    trayPoll_.stop();
    trayIcon_.reset();
    leaveWindowMode();
}

void PellwickApp::showPanelAsWindow() {
    if (panelIsWindow_)
        return;
    panelIsWindow_ = true;
    panel_->showAsWindow();
}

// Once the item is in a tray, the panel drops down from it again instead of being a window.
void PellwickApp::leaveWindowMode() {
    if (!panelIsWindow_)
        return;
    panelIsWindow_ = false;
    panel_->hide();
}

// The item's own place when known: the toolkit's icon has a geometry, and a host's last click
// on our item landed on it; the pointer otherwise (a menu entry or a second launch).
QPoint PellwickApp::trayAnchor() const {
    if (trayIcon_) {
        const QRect area = trayIcon_->geometry();
        if (area.isValid())
            return {area.center().x(), area.bottom()};
    }
    if (!lastClick_.isNull())
        return lastClick_;
    return QCursor::pos();
}

void PellwickApp::togglePanel(QPoint anchor) {
    if (panelIsWindow_) {
        openPanel();
        return;
    }
    if (panel_->isVisible()) {
        panel_->hide();
        return;
    }
    if (panel_->takeClickThatClosedIt())
        return;
    // Some hosts send no position with the click.
    lastClick_ = anchor.isNull() ? QCursor::pos() : anchor;
    panel_->showAnchored(lastClick_);
}

void PellwickApp::openPanel() {
    if (panelIsWindow_) {
        panel_->showAsWindow();
        return;
    }
    if (!panel_->isVisible())
        panel_->showAnchored(trayAnchor());
    panel_->raise();
    panel_->activateWindow();
}
