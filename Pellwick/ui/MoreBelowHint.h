#pragma once

#include <QWidget>

class QGraphicsOpacityEffect;
class QPropertyAnimation;

// The chevron on a capsule at the bottom of the scrolling list while more rows are below, in
// a strip of its own under the rows so it never covers their text. It never takes clicks; at
// the end of the list it fades out and leaves the accessibility tree.
class MoreBelowHint : public QWidget {
    Q_OBJECT

public:
    explicit MoreBelowHint(QWidget* parent = nullptr);

    void setAtBottom(bool atBottom);
    [[nodiscard]] bool isAtBottom() const { return atBottom_; }
    // Where the hint stands: opacity 1 while rows are below, 0 at the end.
    [[nodiscard]] double targetOpacity() const { return atBottom_ ? 0.0 : 1.0; }

    [[nodiscard]] QSize sizeHint() const override;

    static constexpr int fadeMilliseconds = 200;
    static constexpr int liftAboveBottom = 6;
    // The strip below the scrolling rows that holds the hint: the hint, lifted, and 2 points
    // of air above it.
    static constexpr int stripHeight = 10 + 2 * 4 + liftAboveBottom + 2;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool atBottom_ = false;
    QGraphicsOpacityEffect* opacity_ = nullptr;
    QPropertyAnimation* fade_ = nullptr;
};
