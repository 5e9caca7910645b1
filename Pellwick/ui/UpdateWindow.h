#pragma once

#include "Updater.h"

#include <QCoro/QCoroTask>
#include <QWidget>

#include <memory>

class AddressOpener;
class LinkButton;
class QLabel;
class QPushButton;

// The small window that answers "Check for Updates…": "Checking…" while the feed is read,
// then up to date, a newer version with its release notes and download, or why the check
// failed.
class UpdateWindow : public QWidget {
    Q_OBJECT

public:
    UpdateWindow(Updater& updater, std::shared_ptr<AddressOpener> opener,
                 QWidget* parent = nullptr);

    // Shows the window and runs one check; while one runs, only brings the window forward.
    void check();
    void showChecking();
    void showOutcome(const Updater::Outcome& outcome);

    [[nodiscard]] QString headline() const;
    [[nodiscard]] QString detail() const;
    [[nodiscard]] bool isChecking() const { return checking_; }

private:
    QCoro::Task<> runCheck();
    void present();

    Updater& updater_;
    std::shared_ptr<AddressOpener> opener_;
    bool checking_ = false;
    QString releaseNotesAddress_;
    QString downloadAddress_;
    QLabel* headline_ = nullptr;
    QLabel* detail_ = nullptr;
    LinkButton* releaseNotes_ = nullptr;
    QPushButton* download_ = nullptr;
};
