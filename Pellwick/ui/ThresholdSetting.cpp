#include "ui/ThresholdSetting.h"

#include "AppModel.h"
#include "ui/SystemStyle.h"

#include <QBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>

// Whole gigabytes of the byte count the alert uses, so a stored value beyond 64 bits shows
// clamped exactly as the model clamps it.
QString ThresholdSetting::labelText(std::int64_t thresholdBytes) {
    return QStringLiteral("Nudge me when less than ") +
           QString::number(thresholdBytes / 1'000'000'000) + QStringLiteral(" GB is free");
}

ThresholdSetting::ThresholdSetting(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("thresholdLabel"));
    label_->setFont(SystemStyle::font(SystemStyle::TextSize::callout));
    layout->addWidget(label_);

    // The slider counts steps, so every position it can reach is a multiple of 5 GB.
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName(QStringLiteral("thresholdSlider"));
    slider_->setRange(minimumGB / stepGB, maximumGB / stepGB);
    slider_->setSingleStep(1);
    slider_->setPageStep(1);
    layout->addWidget(slider_);

    connect(slider_, &QSlider::valueChanged, this, &ThresholdSetting::userMoved);
    connect(&model_, &AppModel::thresholdGBChanged, this, &ThresholdSetting::syncFromModel);
    connect(&model_, &AppModel::totalBytesChanged, this, &ThresholdSetting::syncFromModel);
    syncFromModel();
}

// Setting the position from code must not look like a move by the user.
void ThresholdSetting::syncFromModel() {
    const double threshold = std::clamp(model_.thresholdGB(), double(minimumGB), double(maximumGB));
    label_->setText(labelText(model_.thresholdBytes()));
    const QSignalBlocker blocker(slider_);
    slider_->setValue(static_cast<int>(std::lround(threshold / stepGB)));
}

void ThresholdSetting::userMoved(int position) {
    model_.setThresholdGB(double(position * stepGB));
    label_->setText(labelText(model_.thresholdBytes()));
}
