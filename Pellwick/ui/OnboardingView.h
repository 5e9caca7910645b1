#pragma once

#include "AppModel.h"
#include "Notifier.h"
#include "platform/SettingsStore.h"

#include <QCoro/QCoroTask>
#include <QPointer>
#include <QWidget>

#include <memory>

class PageDots;
class QCheckBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class ToneLabel;

// The welcome window: what Pellwick does, the low-space notification and opening at login,
// and the folders to look for dormant projects in. Everything the user changes lives in the
// model; the window keeps only its page and whether notifications were asked for. Finishing
// or closing it records "onboardingCompleted", so it does not open again by itself. Its owner
// decides its lifetime; each time it is shown it starts again on the first page.
class OnboardingView : public QWidget {
    Q_OBJECT

public:
    explicit OnboardingView(AppModel& model, std::shared_ptr<SettingsStore> settings,
                            QWidget* parent = nullptr);

    static constexpr int pageCount = 3;

    // Shows the window at the centre of the screen that has the pointer, in front.
    void showCentred();

    [[nodiscard]] int page() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    [[nodiscard]] QWidget* welcomePage();
    [[nodiscard]] QWidget* notificationsPage();
    [[nodiscard]] QWidget* projectsPage();
    [[nodiscard]] QWidget* bottomBar();
    [[nodiscard]] QLabel* symbolLabel(const QString& symbol, int size);
    [[nodiscard]] QLabel* secondaryText(const QString& text);

    void showPage(int page);
    void goBack();
    void goForward();
    void markCompleted();
    void moveToCentre();

    void askForNotifications();
    static QCoro::Task<> requestNotifications(QPointer<OnboardingView> view,
                                              Notifier::Context context);
    void notificationsAnswered(int status);
    void updateNotificationsButton();
    void updateLoginCheckBox();
    void updateFolderViews();
    void applyPalette();

    AppModel& model_;
    std::shared_ptr<SettingsStore> settings_;
    bool notificationsAsked_ = false;
    // Moves left to bring the window to the centre once the window manager has framed it.
    int centringMoves_ = 0;

    QStackedWidget* pages_ = nullptr;
    PageDots* dots_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* primary_ = nullptr;
    QPushButton* notificationsButton_ = nullptr;
    QCheckBox* openAtLogin_ = nullptr;
    QPushButton* folderButton_ = nullptr;
    QLabel* folderMark_ = nullptr;
    ToneLabel* folderSummary_ = nullptr;
    // Symbols and texts whose colour follows the palette: repainted when it changes.
    struct Symbol {
        QLabel* label;
        QString name;
        int size;
    };
    std::vector<Symbol> accentSymbols_;
    std::vector<QLabel*> secondaryTexts_;
};
