#include "ui/PanelHeader.h"

#include "AppModel.h"
#include "Updater.h"
#include "core/ByteCountFormat.h"
#include "ui/GaugeRing.h"
#include "ui/Icons.h"
#include "ui/MenuBarLabel.h"
#include "ui/SystemStyle.h"
#include "ui/ToneLabel.h"

#include <QAction>
#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

namespace {

// The title-2 style sits between title 3 and the large title on the design's grid.
constexpr double title2DesignSize = 17;

QString orQuestionMark(const QString& value) {
    return value.isEmpty() ? QStringLiteral("?") : value;
}

} // namespace

QString PanelHeader::versionLabel(const QString& version, const QString& build) {
    return QStringLiteral("Pellwick ") + orQuestionMark(version) + QStringLiteral(" (") +
           orQuestionMark(build) + QStringLiteral(")");
}

QString PanelHeader::versionLabel() {
    return versionLabel(QStringLiteral(PELLWICK_VERSION), QStringLiteral(PELLWICK_BUILD_NUMBER));
}

QString PanelHeader::statusLine(bool isLow) {
    return isLow ? QStringLiteral("Getting cozy in here. Time for a tidy-up?")
                 : QStringLiteral("Plenty of room to breathe.");
}

PanelHeader::PanelHeader(AppModel& model, Updater& updater, QWidget* parent)
    : QWidget(parent), model_(model), updater_(updater) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);

    gauge_ = new GaugeRing(model_.usedFraction(), false, this);
    gauge_->setFixedSize(GaugeRing::side, GaugeRing::side);
    layout->addWidget(gauge_);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    free_ = new QLabel(this);
    free_->setObjectName(QStringLiteral("freeLabel"));
    free_->setFont(SystemStyle::fontOfDesignSize(title2DesignSize, QFont::DemiBold));
    status_ = new ToneLabel(ToneLabel::Tone::secondary, {}, this);
    status_->setObjectName(QStringLiteral("statusLine"));
    status_->setFont(SystemStyle::font(SystemStyle::TextSize::callout));
    status_->setWordWrap(true);
    texts->addStretch();
    texts->addWidget(free_);
    texts->addWidget(status_);
    texts->addStretch();
    layout->addLayout(texts, 1);

    buildMenu();
    layout->addWidget(menuButton_, 0, Qt::AlignTop);

    connect(&model_, &AppModel::freeBytesChanged, this, &PanelHeader::update);
    connect(&model_, &AppModel::totalBytesChanged, this, &PanelHeader::update);
    connect(&model_, &AppModel::thresholdGBChanged, this, &PanelHeader::update);
    connect(&updater_, &Updater::canCheckForUpdatesChanged, this, &PanelHeader::update);
    update();
}

void PanelHeader::buildMenu() {
    menuButton_ = new QToolButton(this);
    menuButton_->setObjectName(QStringLiteral("menuButton"));
    menuButton_->setToolTip(QStringLiteral("Menu"));
    menuButton_->setAccessibleName(QStringLiteral("Menu"));
    menuButton_->setAutoRaise(true);
    updateMenuIcon();
    menuButton_->setIconSize(QSize(18, 18));
    menuButton_->setPopupMode(QToolButton::InstantPopup);
    menuButton_->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));

    menu_ = new QMenu(menuButton_);
    auto* version = menu_->addAction(versionLabel());
    version->setObjectName(QStringLiteral("versionAction"));
    version->setEnabled(false);
    menu_->addSeparator();
    checkForUpdates_ = menu_->addAction(QStringLiteral("Check for Updates…"));
    connect(checkForUpdates_, &QAction::triggered, this, &PanelHeader::checkForUpdatesRequested);
    connect(menu_->addAction(QStringLiteral("Privacy Policy")), &QAction::triggered, this,
            [this] { emit addressRequested(privacyAddress); });
    connect(menu_->addAction(QStringLiteral("Support")), &QAction::triggered, this,
            [this] { emit addressRequested(supportAddress); });
    menu_->addSeparator();
    quit_ = menu_->addAction(QStringLiteral("Quit Pellwick"));
    quit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit_->setShortcutContext(Qt::WindowShortcut);
    connect(quit_, &QAction::triggered, this, &PanelHeader::quitRequested);
    menuButton_->setMenu(menu_);
}

void PanelHeader::updateMenuIcon() {
    menuButton_->setIcon(
        Icons::icon(QStringLiteral("ellipsis.circle"), SystemStyle::secondary(palette())));
}

void PanelHeader::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && menuButton_)
        updateMenuIcon();
}

void PanelHeader::update() {
    const bool isLow = MenuBarLabel::isLow(model_.freeBytes(), model_.thresholdGB());
    gauge_->setFraction(model_.usedFraction());
    gauge_->setLow(isLow);
    free_->setText(QString::fromStdString(formatByteCount(model_.freeBytes())) +
                   QStringLiteral(" free"));
    status_->setText(statusLine(isLow));
    checkForUpdates_->setEnabled(updater_.canCheckForUpdates());
}
