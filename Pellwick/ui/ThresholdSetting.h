#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>

class AppModel;
class QLabel;
class QSlider;

// "Nudge me when less than … GB is free" and its slider, 5 to 100 in steps of 5. Only the
// user's moves write "thresholdGB": while the key is absent the shown value is the volume's
// default, which must keep following the volume.
class ThresholdSetting : public QWidget {
    Q_OBJECT

public:
    explicit ThresholdSetting(AppModel& model, QWidget* parent = nullptr);

    [[nodiscard]] static QString labelText(std::int64_t thresholdBytes);

    static constexpr int minimumGB = 5;
    static constexpr int maximumGB = 100;
    static constexpr int stepGB = 5;

private:
    void syncFromModel();
    void userMoved(int position);

    AppModel& model_;
    QLabel* label_ = nullptr;
    QSlider* slider_ = nullptr;
};
