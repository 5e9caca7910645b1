#pragma once

#include <QWidget>

// A row of small circles, one per page, the current one in the accent colour.
class PageDots : public QWidget {
    Q_OBJECT

public:
    explicit PageDots(int count, QWidget* parent = nullptr);

    void setCurrent(int index);
    [[nodiscard]] int current() const { return current_; }
    [[nodiscard]] QSize sizeHint() const override;

    static constexpr int diameter = 7;
    static constexpr int gap = 6;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void describeCurrentPage();

    int count_;
    int current_ = 0;
};
