#pragma once

#include "AppModel.h"

#include <QWidget>

#include <optional>
#include <string>

class ElidedLabel;
class QLabel;
class QToolButton;

// One line of the cleanup list: a selection control, the item's title with its risk chip, a
// wrapped line of detail (or why the row is held back), and its size. It keeps no state of its
// own: `setContents` redraws it from the model's row, so the list can keep one widget per item
// id while sizes and selections change. The row itself takes the keyboard focus (Space ticks
// it) and reads to assistive technology as one checkable item.
class SweepRow : public QWidget {
    Q_OBJECT

public:
    SweepRow(const AppModel::Row& row, std::optional<std::string> blockMessage,
             bool hasCustomLocation, QWidget* parent = nullptr);

    void setContents(const AppModel::Row& row, std::optional<std::string> blockMessage,
                     bool hasCustomLocation);

    [[nodiscard]] static QString chipText(Risk risk);
    // The line under the title: the block message wins; otherwise the detail, with a sentence
    // appended when the item's caches were found in a place the user's tools configure.
    [[nodiscard]] static QString detailText(const std::string& detail,
                                            const std::optional<std::string>& blockMessage,
                                            bool hasCustomLocation);

    [[nodiscard]] const std::string& itemId() const { return itemId_; }
    [[nodiscard]] bool isBlocked() const { return isBlocked_; }
    [[nodiscard]] bool isTicked() const { return isTicked_; }
    [[nodiscard]] QString titleText() const;
    [[nodiscard]] QString chipText() const;
    [[nodiscard]] QString detailText() const;
    [[nodiscard]] QString sizeText() const;
    [[nodiscard]] bool isToggleEnabled() const;
    // The selection control is dimmed to half while the row is blocked.
    [[nodiscard]] double toggleOpacity() const;
    // What a screen reader says after the title: chip, size, and the detail or block message.
    [[nodiscard]] QString accessibleSummary() const;
    // Ticks or unticks the row as a click on its control would; nothing while blocked.
    void requestToggle();

signals:
    // The selection control was clicked; the list flips the row's selection in the model.
    void toggled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void buildLayout();
    void applyPalette();
    void updateToggleIcon();
    void announceChanges(const QString& oldTitle, bool wasTicked, bool wasBlocked);

    std::string itemId_;
    bool isBlocked_ = false;
    bool isTicked_ = false;
    QToolButton* toggle_ = nullptr;
    ElidedLabel* title_ = nullptr;
    QLabel* chip_ = nullptr;
    QLabel* detail_ = nullptr;
    QLabel* size_ = nullptr;
};
