#pragma once

#include <QFrame>

// The card that frames the cleanup list: a faint rounded rectangle with a 1-pixel border
// inside its edge. It adds no padding of its own; the panel pads the list inside it, which
// also keeps the content clear of the border.
class ListCard : public QFrame {
    Q_OBJECT

public:
    explicit ListCard(QWidget* parent = nullptr);

    static constexpr double cornerRadius = 10;
    static constexpr double fillOpacity = 0.35;

protected:
    void paintEvent(QPaintEvent* event) override;
};
