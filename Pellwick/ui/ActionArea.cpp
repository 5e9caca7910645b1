#include "ui/ActionArea.h"

#include "AppModel.h"
#include "core/ByteCountFormat.h"
#include "ui/ProminentButton.h"
#include "ui/SymbolLabel.h"
#include "ui/SystemStyle.h"
#include "ui/ToneLabel.h"

#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace {

QString bytesText(std::int64_t bytes) {
    return QString::fromStdString(formatByteCount(bytes));
}

template <class Label = QLabel, class... Tone>
QLabel* wrappedLabel(const QString& objectName, QWidget* parent, Tone... tone) {
    auto* label = new Label(tone..., QString(), parent);
    label->setObjectName(objectName);
    label->setWordWrap(true);
    // The failure names a path and an error text: never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setFont(SystemStyle::font(SystemStyle::TextSize::callout));
    return label;
}

// A symbol beside a wrapping label, as one line of the outcome.
QHBoxLayout* symbolLine(SymbolLabel* symbol, QLabel* label) {
    auto* line = new QHBoxLayout;
    line->setSpacing(6);
    line->addWidget(symbol, 0, Qt::AlignTop);
    line->addWidget(label, 1);
    return line;
}

QVBoxLayout* column(QWidget* widget) {
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    return layout;
}

QPushButton* prominentButton(const QString& text, QWidget* parent) {
    return new ProminentButton(text, parent);
}

} // namespace

QString ActionArea::sweptText(std::int64_t cleared) {
    return QStringLiteral("Swept about ") + bytesText(cleared) +
           QStringLiteral(". Free space can take a moment to update.");
}

QString ActionArea::skippedText(int skippedItems) {
    if (skippedItems < 1)
        return {};
    const bool one = skippedItems == 1;
    return QString::number(skippedItems) + QStringLiteral(" ") +
           (one ? QStringLiteral("item was") : QStringLiteral("items were")) +
           QStringLiteral(" in use or changed, so ") +
           (one ? QStringLiteral("it was") : QStringLiteral("they were")) +
           QStringLiteral(" left alone.");
}

QString ActionArea::confirmationText(std::int64_t bytes, std::size_t targets) {
    return QStringLiteral("Sweep ") + bytesText(bytes) + QStringLiteral(" from ") +
           QString::number(targets) + QStringLiteral(" ") +
           (targets == 1 ? QStringLiteral("item") : QStringLiteral("items")) +
           QStringLiteral("? This can't be undone.");
}

ActionArea::ActionArea(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    buildOutcome();
    buildConfirmation();
    buildSweepButton();
    for (auto* part : {done_, failed_, confirmation_, static_cast<QWidget*>(sweepButton_)})
        layout->addWidget(part);

    connect(&model_, &AppModel::phaseChanged, this, &ActionArea::update);
    connect(&model_, &AppModel::rowsChanged, this, &ActionArea::update);
    connect(&model_, &AppModel::runningAppsChanged, this, &ActionArea::update);
    connect(&model_, &AppModel::runningProcessesChanged, this, &ActionArea::update);
    update();
}

void ActionArea::buildOutcome() {
    done_ = new QWidget(this);
    done_->setObjectName(QStringLiteral("doneOutcome"));
    auto* doneLayout = column(done_);
    sweptLabel_ = wrappedLabel(QStringLiteral("sweptLabel"), done_);
    doneLayout->addLayout(symbolLine(
        new SymbolLabel(QStringLiteral("sparkles"), 14, SymbolLabel::Tint::primary, done_),
        sweptLabel_));
    skippedLabel_ =
        wrappedLabel<ToneLabel>(QStringLiteral("skippedLabel"), done_, ToneLabel::Tone::secondary);
    skippedLabel_->setFont(SystemStyle::font(SystemStyle::TextSize::caption));
    doneLayout->addWidget(skippedLabel_);
    doneButton_ = new QPushButton(QStringLiteral("Done"), done_);
    doneLayout->addWidget(doneButton_, 0, Qt::AlignLeft);
    connect(doneButton_, &QPushButton::clicked, this, [this] { model_.dismissOutcome(); });

    failed_ = new QWidget(this);
    failed_->setObjectName(QStringLiteral("failedOutcome"));
    auto* failedLayout = column(failed_);
    failedLabel_ =
        wrappedLabel<ToneLabel>(QStringLiteral("failedLabel"), failed_, ToneLabel::Tone::red);
    failedLayout->addLayout(symbolLine(new SymbolLabel(QStringLiteral("exclamationmark.triangle"),
                                                       14, SymbolLabel::Tint::red, failed_),
                                       failedLabel_));
    okButton_ = new QPushButton(QStringLiteral("OK"), failed_);
    failedLayout->addWidget(okButton_, 0, Qt::AlignLeft);
    connect(okButton_, &QPushButton::clicked, this, [this] { model_.dismissOutcome(); });
}

void ActionArea::buildConfirmation() {
    confirmation_ = new QWidget(this);
    confirmation_->setObjectName(QStringLiteral("confirmation"));
    auto* layout = column(confirmation_);
    confirmationLabel_ = wrappedLabel(QStringLiteral("confirmationLabel"), confirmation_);
    layout->addWidget(confirmationLabel_);
    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), confirmation_);
    auto* sweep = prominentButton(QStringLiteral("Sweep"), confirmation_);
    sweep->setObjectName(QStringLiteral("confirmSweepButton"));
    confirmSweep_ = sweep;
    buttons->addWidget(cancel);
    buttons->addWidget(sweep);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, [this] {
        confirming_ = false;
        update();
    });
    connect(sweep, &QPushButton::clicked, this, [this] {
        confirming_ = false;
        update();
        sweepConfirmed();
    });
}

void ActionArea::buildSweepButton() {
    sweepButton_ = prominentButton(QString(), this);
    sweepButton_->setObjectName(QStringLiteral("sweepButton"));
    sweepButton_->setMinimumHeight(32);
    connect(sweepButton_, &QPushButton::clicked, this, [this] { confirmAfterRefresh(); });
}

// The figures in the confirmation are measured after the press.
QCoro::Task<> ActionArea::confirmAfterRefresh() {
    const QPointer<ActionArea> self(this);
    const int press = ++sweepPresses_;
    co_await model_.refresh();
    // The panel closed meanwhile: the question belonged to that opening.
    if (!self || press != sweepPresses_)
        co_return;
    confirming_ = model_.selectedBytes() > 0;
    update();
}

QCoro::Task<> ActionArea::sweepConfirmed() {
    co_await model_.sweep();
}

void ActionArea::resetConfirmation() {
    ++sweepPresses_;
    confirming_ = false;
    update();
}

void ActionArea::update() {
    // The part that had the keyboard focus may be about to hide: its successor takes it over.
    const QWidget* focused = QApplication::focusWidget();
    const bool hadFocus = (focused && isAncestorOf(focused)) || focusAwaitsSuccessor_;
    const auto& phase = model_.phase();
    const auto* done = std::get_if<AppModel::Done>(&phase);
    const auto* failed = std::get_if<AppModel::Failed>(&phase);
    const bool showConfirmation = !done && !failed && confirming_;
    const bool showButton = !done && !failed && !confirming_;

    done_->setVisible(done != nullptr);
    if (done) {
        sweptLabel_->setText(sweptText(done->cleared));
        skippedLabel_->setText(skippedText(done->skippedItems));
        skippedLabel_->setVisible(done->skippedItems >= 1);
    }
    failed_->setVisible(failed != nullptr);
    if (failed)
        failedLabel_->setText(QString::fromStdString(failed->message));

    confirmation_->setVisible(showConfirmation);
    if (showConfirmation)
        confirmationLabel_->setText(
            confirmationText(model_.selectedBytes(), model_.sweepTargets().size()));

    sweepButton_->setVisible(showButton);
    const bool scanning = std::holds_alternative<AppModel::Scanning>(phase);
    const bool sweeping = std::holds_alternative<AppModel::Sweeping>(phase);
    const std::int64_t selected = model_.selectedBytes();
    if (scanning)
        sweepButton_->setText(QStringLiteral("Checking…"));
    else if (selected >= 1)
        sweepButton_->setText(QStringLiteral("Sweep ") + bytesText(selected));
    else
        sweepButton_->setText(QStringLiteral("Nothing to sweep"));
    sweepButton_->setEnabled(selected > 0 && !scanning && !sweeping);

    QWidget* successor = done               ? doneButton_
                         : failed           ? okButton_
                         : showConfirmation ? static_cast<QWidget*>(confirmSweep_)
                                            : sweepButton_;
    if (!hadFocus)
        return;
    // While the sweep or the press's rescan runs nothing here can take the focus; it comes back
    // to whatever this area shows next, the outcome's button included.
    const bool canTakeFocus = successor->isEnabled() && successor->isVisibleTo(window());
    if (canTakeFocus)
        successor->setFocus(Qt::OtherFocusReason);
    focusAwaitsSuccessor_ = !canTakeFocus;
}
