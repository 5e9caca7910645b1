#pragma once

#include <QElapsedTimer>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <memory>
#include <vector>

class ActionArea;
class AddressOpener;
class AppModel;
class CleanupList;
class PanelHeader;
class ProjectsBlock;
class QCheckBox;
class ThresholdSetting;
class UpdateWindow;
class Updater;

// The panel that drops down from the tray item: free space, what is safe to sweep, where to
// look for dormant projects, the low-space threshold, the sweep flow and the login item. It
// keeps almost nothing of its own; everything it shows is read from the model.
class PellwickView : public QWidget {
    Q_OBJECT

public:
    PellwickView(AppModel& model, Updater& updater, std::shared_ptr<AddressOpener> opener,
                 QWidget* parent = nullptr);
    ~PellwickView() override;

    static constexpr int panelWidth = 340;

    // Where the panel goes for a click at `anchor`: centred under it (or above it when the
    // tray is at the bottom of the screen), kept inside `available`.
    [[nodiscard]] static QRect panelGeometry(QSize size, QPoint anchor, QRect available);

    // As a frameless pop-up under the tray item, closing when another application takes the
    // focus.
    void showAnchored(QPoint anchor);
    // As an ordinary window, for desktops without any tray.
    void showAsWindow();
    // Hidden a moment ago by a click on the tray item that took the focus away: its
    // activation, arriving now, meant "close", not "open again". Answers once.
    [[nodiscard]] bool takeClickThatClosedIt();
    // One of our own dialogs (the folder chooser, the update window) is open above the panel.
    [[nodiscard]] bool hasOpenDialog() const;

    void checkForUpdates();

    // The controls and rows that take the keyboard focus, in reading order: top to bottom as
    // the panel shows them, rows in list order.
    [[nodiscard]] std::vector<QWidget*> focusChain() const;

signals:
    void quitRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    [[nodiscard]] QWidget* notificationsNotice(QWidget* parent);
    [[nodiscard]] QWidget* footer(QWidget* parent);
    void syncLaunchAtLogin();
    void closeIfAnotherApplicationIsActive(Qt::ApplicationState state);
    void closeIfPressedOutside();
    [[nodiscard]] bool isPointerOnItem() const;
    void keepInsideScreen();
    void focusFirstControl();
    [[nodiscard]] bool handleNavigationKey(QWidget* target, const QKeyEvent& key);

    AppModel& model_;
    Updater& updater_;
    std::shared_ptr<AddressOpener> opener_;
    PanelHeader* header_ = nullptr;
    CleanupList* list_ = nullptr;
    ProjectsBlock* projects_ = nullptr;
    ThresholdSetting* threshold_ = nullptr;
    QWidget* notice_ = nullptr;
    ActionArea* action_ = nullptr;
    QCheckBox* openAtLogin_ = nullptr;
    std::unique_ptr<UpdateWindow> updateWindow_;
    bool anchored_ = false;
    bool activatedSinceShown_ = false;
    QPoint anchor_;
    QElapsedTimer closedByItemClick_;
};
