#pragma once

#include <QString>
#include <QWidget>

#include <filesystem>
#include <vector>

class AppModel;
class LinkButton;
class QLabel;

// Where to look for dormant projects: the chosen folders, what the search does, and the
// buttons to add folders, rescan or stop.
class ProjectsBlock : public QWidget {
    Q_OBJECT

public:
    explicit ProjectsBlock(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] static QString titleText(const std::vector<std::filesystem::path>& roots);
    [[nodiscard]] static QString captionText(bool hasRoots, bool isScanning);

private:
    void update();

    AppModel& model_;
    QLabel* title_ = nullptr;
    QLabel* caption_ = nullptr;
    LinkButton* chooseFolder_ = nullptr;
    LinkButton* addFolder_ = nullptr;
    LinkButton* rescan_ = nullptr;
    LinkButton* stopSearching_ = nullptr;
};
