#include "ui/PellwickView.h"

#include "AppModel.h"
#include "Updater.h"
#include "platform/AddressOpener.h"
#include "ui/ActionArea.h"
#include "ui/CleanupList.h"
#include "ui/Icons.h"
#include "ui/LinkButton.h"
#include "ui/OutsideClickWatcher.h"
#include "ui/PanelHeader.h"
#include "ui/ProjectsBlock.h"
#include "ui/SymbolLabel.h"
#include "ui/SystemStyle.h"
#include "ui/ThresholdSetting.h"
#include "ui/ToneLabel.h"
#include "ui/UpdateWindow.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCursor>
#include <QDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QWindow>

namespace {

constexpr int blockSpacing = 16;
constexpr int edgePadding = 16;
// Space between the tray item's click and the panel's edge.
constexpr int anchorGap = 4;
// A click on the tray item may first take the focus away (closing the panel) and then arrive
// as an activation, which a busy host can deliver well over a second later.
constexpr qint64 sameClickMilliseconds = 1500;
// How far from the point the panel was opened for a press still lands on the tray item.
constexpr int itemReach = 32;
constexpr Qt::WindowFlags popupFlags =
    Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, SystemStyle::quaternary(line->palette()));
    line->setPalette(palette);
    return line;
}

} // namespace

PellwickView::PellwickView(AppModel& model, Updater& updater, std::shared_ptr<AddressOpener> opener,
                           QWidget* parent)
    : QWidget(parent, popupFlags), model_(model), updater_(updater), opener_(std::move(opener)) {
    setObjectName(QStringLiteral("pellwickPanel"));
    setWindowTitle(QStringLiteral("Pellwick"));
    setWindowIcon(Icons::applicationIcon());
    setAttribute(Qt::WA_TranslucentBackground);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(edgePadding, edgePadding, edgePadding, edgePadding);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    // A column of fixed width makes the window exactly the panel's width, and lets wrapped
    // texts take the height they need.
    auto* column = new QWidget(this);
    column->setFixedWidth(panelWidth - 2 * edgePadding);
    outer->addWidget(column);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(blockSpacing);

    header_ = new PanelHeader(model_, updater_, column);
    list_ = new CleanupList(model_, column);
    projects_ = new ProjectsBlock(model_, column);
    threshold_ = new ThresholdSetting(model_, column);
    notice_ = notificationsNotice(column);
    action_ = new ActionArea(model_, column);
    layout->addWidget(header_);
    layout->addWidget(divider(column));
    layout->addWidget(list_);
    layout->addWidget(divider(column));
    layout->addWidget(projects_);
    layout->addWidget(divider(column));
    layout->addWidget(threshold_);
    layout->addWidget(notice_);
    layout->addWidget(action_);
    layout->addWidget(footer(column));

    // The quit shortcut works while the panel has the focus, not only inside its menu.
    addAction(header_->quitAction());
    connect(header_, &PanelHeader::quitRequested, this, &PellwickView::quitRequested);
    connect(header_, &PanelHeader::addressRequested, this,
            [this](const QString& address) { opener_->open(address); });
    connect(header_, &PanelHeader::checkForUpdatesRequested, this, &PellwickView::checkForUpdates);

    connect(&model_, &AppModel::notificationsDeniedChanged, this,
            [this] { notice_->setVisible(model_.notificationsDenied()); });
    connect(&model_, &AppModel::launchAtLoginChanged, this, &PellwickView::syncLaunchAtLogin);
    connect(qApp, &QApplication::applicationStateChanged, this,
            &PellwickView::closeIfAnotherApplicationIsActive);
    connect(new OutsideClickWatcher(this), &OutsideClickWatcher::buttonPressed, this,
            &PellwickView::closeIfPressedOutside);
    // Any of our windows becoming the active one re-reads what the open panel shows. A hidden
    // panel has nothing to show: at first start the welcome window's focus must not scan
    // before the start-up work does.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (window && isVisible())
            model_.refresh();
    });
    // Arrow keys and Return reach the panel before the focused button sees them: a button
    // would move on with Up as with Down, and ignores Return outside dialogs.
    qApp->installEventFilter(this);
}

PellwickView::~PellwickView() = default;

QWidget* PellwickView::notificationsNotice(QWidget* parent) {
    auto* notice = new QWidget(parent);
    notice->setObjectName(QStringLiteral("notificationsNotice"));
    auto* layout = new QHBoxLayout(notice);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(
        new SymbolLabel(QStringLiteral("bell.slash"), 14, SymbolLabel::Tint::secondary, notice));
    auto* text =
        new ToneLabel(ToneLabel::Tone::secondary,
                      QStringLiteral("Notifications are off, so I can't nudge you."), notice);
    text->setFont(SystemStyle::font(SystemStyle::TextSize::caption));
    layout->addWidget(text);
    auto* turnOn = new LinkButton(QStringLiteral("Turn on"), notice);
    layout->addWidget(turnOn);
    layout->addStretch();
    connect(turnOn, &QPushButton::clicked, this,
            [this] { opener_->open(AddressOpener::notificationSettingsAddress); });
    notice->setVisible(model_.notificationsDenied());
    return notice;
}

QWidget* PellwickView::footer(QWidget* parent) {
    auto* footer = new QWidget(parent);
    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    openAtLogin_ = new QCheckBox(QStringLiteral("Open at login"), footer);
    openAtLogin_->setObjectName(QStringLiteral("openAtLogin"));
    openAtLogin_->setFont(SystemStyle::font(SystemStyle::TextSize::callout));
    layout->addWidget(openAtLogin_);
    layout->addStretch();
    // The box shows what the desktop really did, so a refused registration springs back.
    connect(openAtLogin_, &QCheckBox::clicked, this, [this](bool on) {
        model_.setLaunchAtLogin(on);
        syncLaunchAtLogin();
    });
    syncLaunchAtLogin();
    return footer;
}

void PellwickView::syncLaunchAtLogin() {
    const QSignalBlocker blocker(openAtLogin_);
    openAtLogin_->setChecked(model_.launchAtLogin());
}

QRect PellwickView::panelGeometry(QSize size, QPoint anchor, QRect available) {
    const bool trayAtBottom = anchor.y() > available.center().y();
    QPoint topLeft(anchor.x() - size.width() / 2,
                   trayAtBottom ? anchor.y() - anchorGap - size.height() : anchor.y() + anchorGap);
    topLeft.setX(std::clamp(topLeft.x(), available.left(),
                            std::max(available.left(), available.right() + 1 - size.width())));
    topLeft.setY(std::clamp(topLeft.y(), available.top(),
                            std::max(available.top(), available.bottom() + 1 - size.height())));
    return {topLeft, size};
}

void PellwickView::showAnchored(QPoint anchor) {
    // A tray that appeared after the panel was shown as a window gets the pop-up back.
    if (windowFlags() != (windowFlags() | popupFlags)) {
        setWindowFlags(popupFlags);
        setAttribute(Qt::WA_TranslucentBackground);
    }
    anchored_ = true;
    anchor_ = anchor;
    adjustSize();
    keepInsideScreen();
    show();
    raise();
    activateWindow();
}

void PellwickView::showAsWindow() {
    if (anchored_ || !isVisible()) {
        anchored_ = false;
        setWindowFlags(Qt::Window);
        setAttribute(Qt::WA_TranslucentBackground, false);
        adjustSize();
        // Where a tray would be, so that without a window manager it does not sit on the
        // welcome window, which opens in the middle.
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect available = screen->availableGeometry();
            move(std::max(available.left(), available.right() + 1 - width() - edgePadding),
                 available.top() + edgePadding);
        }
    }
    show();
    raise();
    activateWindow();
}

void PellwickView::keepInsideScreen() {
    if (!anchored_)
        return;
    const QScreen* screen = QGuiApplication::screenAt(anchor_);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    setGeometry(panelGeometry(size(), anchor_, screen->availableGeometry()));
}

bool PellwickView::takeClickThatClosedIt() {
    const bool closedByItem =
        closedByItemClick_.isValid() && closedByItemClick_.elapsed() < sameClickMilliseconds;
    closedByItemClick_.invalidate();
    return closedByItem;
}

bool PellwickView::isPointerOnItem() const {
    return (QCursor::pos() - anchor_).manhattanLength() < itemReach;
}

bool PellwickView::hasOpenDialog() const {
    if (updateWindow_ && updateWindow_->isVisible())
        return true;
    const auto windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](const QWidget* window) {
        return window->isVisible() && qobject_cast<const QDialog*>(window);
    });
}

void PellwickView::closeIfAnotherApplicationIsActive(Qt::ApplicationState state) {
    // A panel that never had the focus has not lost it: the window it replaced can report its
    // own deactivation only after the new pop-up is on the screen.
    if (state == Qt::ApplicationActive || !anchored_ || !isVisible() || !activatedSinceShown_ ||
        hasOpenDialog())
        return;
    hide();
    if (isPointerOnItem())
        closedByItemClick_.start();
}

// A press on the tray item itself is left to the item's activation, which closes the panel
// however late the host delivers it.
void PellwickView::closeIfPressedOutside() {
    if (!anchored_ || !isVisible() || hasOpenDialog() || frameGeometry().contains(QCursor::pos()) ||
        isPointerOnItem())
        return;
    hide();
}

void PellwickView::checkForUpdates() {
    if (!updateWindow_)
        updateWindow_ = std::make_unique<UpdateWindow>(updater_, opener_);
    updateWindow_->check();
}

void PellwickView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    model_.refresh();
    focusFirstControl();
}

std::vector<QWidget*> PellwickView::focusChain() const {
    std::vector<QWidget*> chain;
    std::vector<QWidget*> pending{const_cast<PellwickView*>(this)};
    // Depth first in creation order, which is the order the layouts show them in.
    while (!pending.empty()) {
        QWidget* widget = pending.back();
        pending.pop_back();
        if (widget != this && (widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled())
            chain.push_back(widget);
        const auto children = widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            if (!(*child)->isWindow() && (*child)->isVisibleTo(this))
                pending.push_back(*child);
    }
    return chain;
}

bool PellwickView::focusNextPrevChild(bool next) {
    const auto chain = focusChain();
    if (chain.empty())
        return false;
    const auto current = std::find(chain.begin(), chain.end(), focusWidget());
    const auto count = std::ptrdiff_t(chain.size());
    std::ptrdiff_t index =
        current == chain.end() ? (next ? -1 : count) : std::distance(chain.begin(), current);
    index = (index + (next ? 1 : -1) + count) % count;
    chain[std::size_t(index)]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void PellwickView::focusFirstControl() {
    if (focusWidget() && focusWidget()->isVisibleTo(this))
        return;
    const auto chain = focusChain();
    if (!chain.empty())
        chain.front()->setFocus(Qt::ActiveWindowFocusReason);
}

bool PellwickView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return QWidget::eventFilter(watched, event);
    auto* target = static_cast<QWidget*>(watched);
    if (target->window() != this)
        return QWidget::eventFilter(watched, event);
    return handleNavigationKey(target, static_cast<const QKeyEvent&>(*event)) ||
           QWidget::eventFilter(watched, event);
}

// Up and Down (Left and Right too, except on the slider, which they move) step through the
// panel in reading order; Return presses the focused button.
bool PellwickView::handleNavigationKey(QWidget* target, const QKeyEvent& key) {
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const bool slider = qobject_cast<QAbstractSlider*>(target) != nullptr;
    switch (key.key()) {
    case Qt::Key_Down:
        return focusNextPrevChild(true);
    case Qt::Key_Up:
        return focusNextPrevChild(false);
    case Qt::Key_Right:
        return !slider && focusNextPrevChild(true);
    case Qt::Key_Left:
        return !slider && focusNextPrevChild(false);
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto* button = qobject_cast<QPushButton*>(target); button && button->isEnabled()) {
            button->click();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void PellwickView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    activatedSinceShown_ = false;
    action_->resetConfirmation();
}

void PellwickView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

// The pop-up draws its own rounded background and edge; as a window it is a plain window.
void PellwickView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor background = palette().color(QPalette::Window);
    if (!anchored_ && !testAttribute(Qt::WA_TranslucentBackground)) {
        painter.fillRect(rect(), background);
        return;
    }
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(SystemStyle::quaternary(palette()).darker(), 1));
    painter.setBrush(background);
    painter.drawRoundedRect(shape, 10, 10);
}

// The panel follows its content's height; a pop-up stays inside the screen as it grows.
bool PellwickView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate)
        activatedSinceShown_ = true;
    if (event->type() == QEvent::Resize && anchored_ && isVisible())
        QTimer::singleShot(0, this, &PellwickView::keepInsideScreen);
    return handled;
}
