#include "ui/UpdateWindow.h"

#include "platform/AddressOpener.h"
#include "ui/Icons.h"
#include "ui/LinkButton.h"
#include "ui/SystemStyle.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace {

const QString currentVersion = QStringLiteral(PELLWICK_VERSION);

template <class... Handlers> struct Overloaded : Handlers... { using Handlers::operator()...; };

} // namespace

UpdateWindow::UpdateWindow(Updater& updater, std::shared_ptr<AddressOpener> opener, QWidget* parent)
    : QWidget(parent, Qt::Window), updater_(updater), opener_(std::move(opener)) {
    setWindowTitle(QStringLiteral("Software Update"));
    setWindowIcon(Icons::applicationIcon());
    setFixedWidth(360);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(8);
    headline_ = new QLabel(this);
    headline_->setObjectName(QStringLiteral("updateHeadline"));
    headline_->setFont(SystemStyle::font(SystemStyle::TextSize::title3, QFont::DemiBold));
    headline_->setWordWrap(true);
    detail_ = new QLabel(this);
    detail_->setObjectName(QStringLiteral("updateDetail"));
    detail_->setWordWrap(true);
    detail_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The feed's version and the error text come from outside: never read as markup.
    headline_->setTextFormat(Qt::PlainText);
    detail_->setTextFormat(Qt::PlainText);
    releaseNotes_ = new LinkButton(QStringLiteral("Release Notes"), this);
    layout->addWidget(headline_);
    layout->addWidget(detail_);
    layout->addWidget(releaseNotes_, 0, Qt::AlignLeft);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    download_ = new QPushButton(QStringLiteral("Download"), this);
    download_->setDefault(true);
    buttons->addWidget(close);
    buttons->addWidget(download_);
    layout->addLayout(buttons);

    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(releaseNotes_, &QPushButton::clicked, this,
            [this] { opener_->open(releaseNotesAddress_); });
    connect(download_, &QPushButton::clicked, this, [this] { opener_->open(downloadAddress_); });
    showChecking();
}

void UpdateWindow::check() {
    present();
    if (checking_)
        return;
    runCheck();
}

QCoro::Task<> UpdateWindow::runCheck() {
    const QPointer<UpdateWindow> self(this);
    checking_ = true;
    showChecking();
    const Updater::Outcome outcome = co_await updater_.checkForUpdates();
    if (!self)
        co_return;
    checking_ = false;
    showOutcome(outcome);
}

void UpdateWindow::showChecking() {
    headline_->setText(QStringLiteral("Checking…"));
    detail_->clear();
    detail_->hide();
    releaseNotes_->hide();
    download_->hide();
}

void UpdateWindow::showOutcome(const Updater::Outcome& outcome) {
    releaseNotesAddress_.clear();
    downloadAddress_.clear();
    std::visit(Overloaded{
                   [this](const Updater::UpToDate&) {
                       headline_->setText(QStringLiteral("Pellwick is up to date."));
                       detail_->setText(QStringLiteral("You have version ") + currentVersion +
                                        QStringLiteral(", the newest there is."));
                   },
                   [this](const Updater::NewVersion& newer) {
                       headline_->setText(QStringLiteral("Pellwick ") + newer.version +
                                          QStringLiteral(" is available."));
                       detail_->setText(QStringLiteral("You have version ") + currentVersion +
                                        QStringLiteral("."));
                       releaseNotesAddress_ = newer.releaseNotesUrl;
                       downloadAddress_ = newer.downloadUrl;
                   },
                   [this](const Updater::Error& error) {
                       headline_->setText(QStringLiteral("Could not check for updates."));
                       detail_->setText(error.message);
                   },
               },
               outcome);
    detail_->show();
    releaseNotes_->setVisible(!releaseNotesAddress_.isEmpty());
    download_->setVisible(!downloadAddress_.isEmpty());
    adjustSize();
}

void UpdateWindow::present() {
    show();
    raise();
    activateWindow();
}

QString UpdateWindow::headline() const {
    return headline_->text();
}

QString UpdateWindow::detail() const {
    return detail_->text();
}
