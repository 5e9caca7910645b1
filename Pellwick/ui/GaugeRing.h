#pragma once

#include <QString>
#include <QWidget>

class QPainter;
class QVariantAnimation;

// The ring in the panel's header: how much of the home volume is used. The arc starts at the
// top and grows clockwise, green normally and orange while space is low; changes of the used
// share glide there over 0.6 s.
class GaugeRing : public QWidget {
    Q_OBJECT

public:
    explicit GaugeRing(double fraction = 0, bool isLow = false, QWidget* parent = nullptr);

    // The share of the volume in use, 0…1 (the model already clamps it).
    void setFraction(double fraction);
    void setLow(bool isLow);

    [[nodiscard]] double fraction() const { return fraction_; }
    [[nodiscard]] bool isLow() const { return isLow_; }
    // What the arc shows right now, which trails `fraction` while the arc is animating.
    [[nodiscard]] double shownFraction() const { return shownFraction_; }
    [[nodiscard]] bool isAnimating() const;

    // The used share in whole percent, halves away from zero: 0.005 → "1%", 0.025 → "3%".
    [[nodiscard]] static QString percentText(double fraction);

    [[nodiscard]] QSize sizeHint() const override;

    static constexpr int side = 64;
    static constexpr double lineWidth = 8;
    static constexpr int animationMilliseconds = 600;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintRing(QPainter& painter) const;
    void paintLabel(QPainter& painter) const;

    double fraction_ = 0;
    double shownFraction_ = 0;
    bool isLow_ = false;
    QVariantAnimation* animation_ = nullptr;
};
