#pragma once

#include <QBasicTimer>
#include <QWidget>

// A small indeterminate progress indicator: a ring of fading spokes. It only ticks while it
// is shown, so a closed panel costs no CPU.
class Spinner : public QWidget {
    Q_OBJECT

public:
    explicit Spinner(QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    static constexpr int spokes = 8;
    QBasicTimer timer_;
    int step_ = 0;
};
