#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <QWidget>

#include <cstdint>

class AppModel;
class QLabel;
class QPushButton;

// The bottom of the panel's flow: the sweep button, its confirmation, and a finished sweep's
// outcome. The phase decides first, the confirmation second.
class ActionArea : public QWidget {
    Q_OBJECT

public:
    explicit ActionArea(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] static QString sweptText(std::int64_t cleared);
    // Empty when nothing was skipped; else "1 item was …" / "3 items were …".
    [[nodiscard]] static QString skippedText(int skippedItems);
    [[nodiscard]] static QString confirmationText(std::int64_t bytes, std::size_t targets);

    [[nodiscard]] bool isConfirming() const { return confirming_; }
    // The confirmation goes when the panel closes; nothing but the threshold outlives it.
    void resetConfirmation();

private:
    void buildOutcome();
    void buildConfirmation();
    void buildSweepButton();
    void update();
    QCoro::Task<> confirmAfterRefresh();
    QCoro::Task<> sweepConfirmed();

    AppModel& model_;
    bool confirming_ = false;
    // Counts the sweep button's presses and the resets, so a refresh that ends after the panel
    // closed asks nothing.
    int sweepPresses_ = 0;
    QWidget* done_ = nullptr;
    bool focusAwaitsSuccessor_ = false;
    QPushButton* doneButton_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* confirmSweep_ = nullptr;
    QLabel* sweptLabel_ = nullptr;
    QLabel* skippedLabel_ = nullptr;
    QWidget* failed_ = nullptr;
    QLabel* failedLabel_ = nullptr;
    QWidget* confirmation_ = nullptr;
    QLabel* confirmationLabel_ = nullptr;
    QPushButton* sweepButton_ = nullptr;
};
