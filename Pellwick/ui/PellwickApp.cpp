#include "ui/PellwickApp.h"

#include "Updater.h"
#include "platform/AddressOpener.h"
#include "ui/Icons.h"
#include "ui/MenuBarLabel.h"
#include "ui/OnboardingView.h"
#include "ui/PellwickView.h"
#include "ui/StatusNotifierItem.h"
#include "ui/SystemStyle.h"

#include <QApplication>
#include <QCursor>
#include <QPainter>
#include <QSystemTrayIcon>

namespace {

const QString onboardingKey = QStringLiteral("onboardingCompleted");

// KDE Plasma shows only the icon of an item, never its label.
bool hostIgnoresLabels() {
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP")
        .contains(QStringLiteral("KDE"), Qt::CaseInsensitive);
}

QColor trayColor(bool isLow) {
    const QPalette palette = QApplication::palette();
    return isLow ? SystemStyle::orange(palette) : SystemStyle::primary(palette);
}

} // namespace

PellwickApp::PellwickApp(AppModel::Environment environment, std::shared_ptr<AddressOpener> opener,
                         QDBusConnection bus, QObject* parent)
    : QObject(parent), settings_(environment.settings),
      model_(std::make_unique<AppModel>(std::move(environment))),
      updater_(std::make_unique<Updater>()),
      panel_(std::make_unique<PellwickView>(*model_, *updater_, std::move(opener))),
      item_(std::make_unique<StatusNotifierItem>(std::move(bus))) {
    item_->setFigureInIcon(hostIgnoresLabels());
    connect(item_.get(), &StatusNotifierItem::activated, this, &PellwickApp::togglePanel);
    connect(item_.get(), &StatusNotifierItem::contextMenuRequested, this,
            &PellwickApp::togglePanel);
    connect(item_.get(), &StatusNotifierItem::registeredWithWatcher, this,
            &PellwickApp::dropFallbackTray);
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
    welcome_->show();
    welcome_->raise();
    welcome_->activateWindow();
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
        trayIcon_->setIcon(figureIcon(figure, symbol, trayColor(isLow)));
        trayIcon_->setToolTip(title);
    }
}

void PellwickApp::useFallbackTray() {
    if (trayIcon_ || item_->isRegistered())
        return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        panelIsWindow_ = true;
        panel_->showAsWindow();
        return;
    }
    trayIcon_ = std::make_unique<QSystemTrayIcon>();
    connect(trayIcon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
                    togglePanel(trayAnchor());
            });
    updateTray();
    trayIcon_->show();
}

// Our own item and the toolkit's icon are never in the tray together.
void PellwickApp::dropFallbackTray() {
    trayIcon_.reset();
}

QPoint PellwickApp::trayAnchor() const {
    if (trayIcon_) {
        const QRect area = trayIcon_->geometry();
        if (area.isValid())
            return {area.center().x(), area.bottom()};
    }
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
    if (panel_->wasJustClosedByFocusLoss())
        return;
    // Some hosts send no position with the click.
    panel_->showAnchored(anchor.isNull() ? QCursor::pos() : anchor);
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

QIcon PellwickApp::figureIcon(const QString& figure, const QString& symbol, const QColor& color) {
    if (figure.isEmpty())
        return Icons::icon(symbol, color);
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        QFont font = QApplication::font();
        font.setBold(true);
        font.setPixelSize(side);
        // Shrink until the figure fits the square, so three digits stay legible.
        while (font.pixelSize() > 6 && QFontMetrics(font).horizontalAdvance(figure) > side)
            font.setPixelSize(font.pixelSize() - 1);
        painter.setFont(font);
        painter.setPen(color);
        painter.drawText(pixmap.rect(), Qt::AlignCenter, figure);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
