#include "ui/SweepRow.h"

#include "core/ByteCountFormat.h"
#include "ui/AccessibleInterfaces.h"
#include "ui/ElidedLabel.h"
#include "ui/Icons.h"
#include "ui/SystemStyle.h"

#include <QAccessible>
#include <QBoxLayout>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

#include <utility>

namespace {

constexpr int spacingBetweenParts = 10;
constexpr int spacingBetweenLines = 2;
constexpr int spacingBesideChip = 6;
constexpr int minimumSpaceBeforeSize = 8;
// Only the control dims on a blocked row: its texts, the block message first, must stay
// legible.
constexpr double blockedOpacity = 0.5;
constexpr int focusRingWidth = 2;

int toggleIconSize() {
    return QFontMetrics(SystemStyle::font(SystemStyle::TextSize::title3)).height();
}

QLabel* makeLabel(QWidget* parent, const QFont& font, const char* objectName) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void setTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

} // namespace

SweepRow::SweepRow(const AppModel::Row& row, std::optional<std::string> blockMessage,
                   bool hasCustomLocation, QWidget* parent)
    : QWidget(parent) {
    buildLayout();
    setContents(row, std::move(blockMessage), hasCustomLocation);
}

QString SweepRow::chipText(Risk risk) {
    switch (risk) {
    case Risk::regrows:
        return QStringLiteral("Grows back");
    case Risk::resets:
        return QStringLiteral("Resets");
    case Risk::reinstalls:
        return QStringLiteral("Reinstalls");
    }
    return {};
}

QString SweepRow::detailText(const std::string& detail,
                             const std::optional<std::string>& blockMessage,
                             bool hasCustomLocation) {
    if (blockMessage)
        return QString::fromStdString(*blockMessage);
    QString text = QString::fromStdString(detail);
    if (hasCustomLocation)
        text += QStringLiteral(" Includes a custom location.");
    return text;
}

void SweepRow::buildLayout() {
    using SystemStyle::TextSize;

    toggle_ = new QToolButton(this);
    toggle_->setObjectName(QStringLiteral("toggle"));
    toggle_->setAutoRaise(true);
    // The row takes the focus instead, so Tab stops once per row.
    toggle_->setFocusPolicy(Qt::NoFocus);
    toggle_->setIconSize(QSize(toggleIconSize(), toggleIconSize()));
    toggle_->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; }"));
    connect(toggle_, &QToolButton::clicked, this, &SweepRow::toggled);
    setFocusPolicy(Qt::StrongFocus);
    installAccessibleInterfaces();

    title_ = new ElidedLabel(this);
    title_->setObjectName(QStringLiteral("title"));
    title_->setFont(SystemStyle::font(TextSize::body, QFont::Medium));
    chip_ = makeLabel(this, SystemStyle::font(TextSize::caption2, QFont::Medium), "chip");
    chip_->setContentsMargins(6, 1, 6, 1);
    detail_ = makeLabel(this, SystemStyle::font(TextSize::caption), "detail");
    detail_->setWordWrap(true);
    // The digits of DejaVu Sans, Noto Sans and Liberation Sans (the usual Linux UI fonts) are
    // tabular by default, so sizes line up without a font feature switch.
    size_ = makeLabel(this, SystemStyle::font(TextSize::callout, QFont::DemiBold), "size");
    size_->setAlignment(Qt::AlignRight | Qt::AlignTop);

    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(spacingBesideChip);
    titleLine->addWidget(title_, 0, Qt::AlignVCenter);
    titleLine->addWidget(chip_, 0, Qt::AlignVCenter);
    titleLine->addStretch(1);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(spacingBetweenLines);
    texts->addLayout(titleLine);
    texts->addWidget(detail_);

    auto* line = new QHBoxLayout(this);
    // Room for the focus ring around the row's content.
    constexpr int ringRoom = focusRingWidth + 1;
    line->setContentsMargins(ringRoom, ringRoom, ringRoom, ringRoom);
    line->setSpacing(spacingBetweenParts);
    line->addWidget(toggle_, 0, Qt::AlignTop);
    line->addLayout(texts, 1);
    line->addSpacing(minimumSpaceBeforeSize);
    line->addWidget(size_, 0, Qt::AlignTop);

    applyPalette();
}

void SweepRow::setContents(const AppModel::Row& row, std::optional<std::string> blockMessage,
                           bool hasCustomLocation) {
    const QString oldTitle = title_->fullText();
    const bool wasTicked = isTicked_;
    const bool wasBlocked = isBlocked_;
    itemId_ = row.item.id;
    isBlocked_ = blockMessage.has_value();
    isTicked_ = row.isSelected && !isBlocked_;

    title_->setFullText(QString::fromStdString(row.item.title));
    toggle_->setAccessibleName(title_->fullText());
    chip_->setText(chipText(row.item.risk));
    detail_->setText(detailText(row.item.detail, blockMessage, hasCustomLocation));
    size_->setText(QString::fromStdString(formatByteCount(row.size)));
    toggle_->setEnabled(!isBlocked_);
    updateToggleIcon();

    if (isBlocked_) {
        auto* effect = new QGraphicsOpacityEffect(toggle_);
        effect->setOpacity(blockedOpacity);
        toggle_->setGraphicsEffect(effect);
    } else {
        toggle_->setGraphicsEffect(nullptr);
    }
    announceChanges(oldTitle, wasTicked, wasBlocked);
}

void SweepRow::announceChanges(const QString& oldTitle, bool wasTicked, bool wasBlocked) {
    if (oldTitle != title_->fullText()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
    QAccessible::State changed;
    changed.checked = wasTicked != isTicked_;
    changed.disabled = wasBlocked != isBlocked_;
    if (changed.checked || changed.disabled) {
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
    QAccessibleEvent description(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
}

QString SweepRow::accessibleSummary() const {
    return chip_->text() + QStringLiteral(", ") + size_->text() + QStringLiteral(". ") +
           detail_->text();
}

void SweepRow::requestToggle() {
    if (!isBlocked_)
        emit toggled();
}

QString SweepRow::titleText() const {
    return title_->fullText();
}

QString SweepRow::chipText() const {
    return chip_->text();
}

QString SweepRow::detailText() const {
    return detail_->text();
}

QString SweepRow::sizeText() const {
    return size_->text();
}

bool SweepRow::isToggleEnabled() const {
    return toggle_->isEnabled();
}

double SweepRow::toggleOpacity() const {
    const auto* effect = qobject_cast<const QGraphicsOpacityEffect*>(toggle_->graphicsEffect());
    return effect ? effect->opacity() : 1.0;
}

void SweepRow::applyPalette() {
    setTextColor(title_, SystemStyle::primary(palette()));
    setTextColor(chip_, SystemStyle::primary(palette()));
    setTextColor(detail_, SystemStyle::secondary(palette()));
    setTextColor(size_, SystemStyle::primary(palette()));
    updateToggleIcon();
}

void SweepRow::updateToggleIcon() {
    const QString name =
        isTicked_ ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle");
    const QColor color =
        isTicked_ ? SystemStyle::accent(palette()) : SystemStyle::secondary(palette());
    const QPixmap image =
        Icons::pixmap(name, color, toggle_->iconSize().width(), devicePixelRatioF());
    // The same image for the disabled state: the whole row is dimmed instead.
    QIcon icon;
    icon.addPixmap(image, QIcon::Normal);
    icon.addPixmap(image, QIcon::Disabled);
    toggle_->setIcon(icon);
}

void SweepRow::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(SystemStyle::quaternary(palette()));
    const QRectF capsule = QRectF(chip_->geometry());
    painter.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    if (hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(SystemStyle::accent(palette()), focusRingWidth));
        const QRectF ring = QRectF(rect()).adjusted(1, 1, -1, -1);
        painter.drawRoundedRect(ring, 6, 6);
    }
}

void SweepRow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Select) {
        requestToggle();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SweepRow::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void SweepRow::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void SweepRow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyPalette();
}
