#pragma once

#include <QString>
#include <QWidget>

class AppModel;
class GaugeRing;
class QAction;
class QLabel;
class QMenu;
class QToolButton;
class Updater;

// The top of the panel: the usage ring, the free space with a line about it, and the menu
// with the version, update check, web pages and quit.
class PanelHeader : public QWidget {
    Q_OBJECT

public:
    PanelHeader(AppModel& model, Updater& updater, QWidget* parent = nullptr);

    // "Pellwick 1.4 (27)"; a missing value reads "?".
    [[nodiscard]] static QString versionLabel(const QString& version, const QString& build);
    [[nodiscard]] static QString versionLabel();
    [[nodiscard]] static QString statusLine(bool isLow);

    static inline const QString privacyAddress =
        QStringLiteral("https://quenlix.com/pellwick/privacy");
    static inline const QString supportAddress =
        QStringLiteral("https://quenlix.com/pellwick/support");

    [[nodiscard]] QMenu* menu() const { return menu_; }
    [[nodiscard]] QAction* quitAction() const { return quit_; }

signals:
    void checkForUpdatesRequested();
    void addressRequested(const QString& address);
    void quitRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void buildMenu();
    void updateMenuIcon();
    void update();

    AppModel& model_;
    Updater& updater_;
    GaugeRing* gauge_ = nullptr;
    QLabel* free_ = nullptr;
    QLabel* status_ = nullptr;
    QToolButton* menuButton_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* checkForUpdates_ = nullptr;
    QAction* quit_ = nullptr;
};
