#pragma once

#include "AppModel.h"

#include <QWidget>

#include <map>
#include <string>
#include <vector>

class ListCard;
class MoreBelowHint;
class QLabel;
class QScrollArea;
class QVBoxLayout;
class SweepRow;

// "Safe to sweep": the measured rows grouped by category in a card, scrolling when they would
// not fit. Rows keep their widgets by item id while sizes and selections change, so toggling a
// row does not move the list.
class CleanupList : public QWidget {
    Q_OBJECT

public:
    struct Section {
        Category category;
        std::vector<AppModel::Row> rows;
    };

    // Rows larger than 0 bytes by category in declaration order, largest first within each
    // (equal sizes keep the model's order); categories without such rows are left out.
    [[nodiscard]] static std::vector<Section> sections(const std::vector<AppModel::Row>& rows);
    // 32 per section heading and 58 per row: the height the plain list would need.
    [[nodiscard]] static double estimatedListHeight(const std::vector<Section>& sections);
    static constexpr double maximumListHeight = 320;

    explicit CleanupList(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] bool scrolls() const { return scrollArea_ != nullptr; }
    [[nodiscard]] bool isListAtBottom() const { return listAtBottom_; }
    [[nodiscard]] QScrollArea* scrollArea() const { return scrollArea_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Shape {
        std::vector<std::pair<Category, std::vector<std::string>>> sections;
        bool scrolls = false;
        bool operator==(const Shape&) const = default;
    };

    void update();
    void rebuildCard(const std::vector<Section>& sections, const Shape& shape);
    void refreshRows(const std::vector<Section>& sections);
    [[nodiscard]] QWidget* sectionView(const Section& section, QWidget* parent);
    void updateListAtBottom();
    void placeHint();

    AppModel& model_;
    QVBoxLayout* layout_ = nullptr;
    QWidget* lookingAround_ = nullptr;
    QWidget* tidy_ = nullptr;
    ListCard* card_ = nullptr;
    QScrollArea* scrollArea_ = nullptr;
    MoreBelowHint* hint_ = nullptr;
    std::map<std::string, SweepRow*> rowWidgets_;
    Shape shape_;
    bool listAtBottom_ = false;
};
