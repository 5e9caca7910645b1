#include "ui/SweepRow.h"

#include "core/ByteCountFormat.h"
#include "ui/Icons.h"
#include "ui/SystemStyle.h"

#include <QBoxLayout>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

#include <utility>

namespace {

constexpr int spacingBetweenParts = 10;
constexpr int spacingBetweenLines = 2;
constexpr int spacingBesideChip = 6;
constexpr int minimumSpaceBeforeSize = 8;
constexpr double blockedOpacity = 0.5;

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
    toggle_->setFocusPolicy(Qt::TabFocus);
    toggle_->setIconSize(QSize(toggleIconSize(), toggleIconSize()));
    toggle_->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; }"));
    connect(toggle_, &QToolButton::clicked, this, &SweepRow::toggled);

    title_ = makeLabel(this, SystemStyle::font(TextSize::body, QFont::Medium), "title");
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
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(spacingBetweenParts);
    line->addWidget(toggle_, 0, Qt::AlignTop);
    line->addLayout(texts, 1);
    line->addSpacing(minimumSpaceBeforeSize);
    line->addWidget(size_, 0, Qt::AlignTop);

    applyPalette();
}

void SweepRow::setContents(const AppModel::Row& row, std::optional<std::string> blockMessage,
                           bool hasCustomLocation) {
    itemId_ = row.item.id;
    isBlocked_ = blockMessage.has_value();
    isTicked_ = row.isSelected && !isBlocked_;

    title_->setText(QString::fromStdString(row.item.title));
    chip_->setText(chipText(row.item.risk));
    detail_->setText(detailText(row.item.detail, blockMessage, hasCustomLocation));
    size_->setText(QString::fromStdString(formatByteCount(row.size)));
    toggle_->setEnabled(!isBlocked_);
    updateToggleIcon();

    if (isBlocked_) {
        auto* effect = new QGraphicsOpacityEffect(this);
        effect->setOpacity(blockedOpacity);
        setGraphicsEffect(effect);
    } else {
        setGraphicsEffect(nullptr);
    }
}

QString SweepRow::titleText() const {
    return title_->text();
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

double SweepRow::opacity() const {
    const auto* effect = qobject_cast<const QGraphicsOpacityEffect*>(graphicsEffect());
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
}

void SweepRow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyPalette();
}
