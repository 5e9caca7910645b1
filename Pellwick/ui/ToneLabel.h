#pragma once

#include <QLabel>

// A text in one of the design's levels or signal colours, taken from the application palette
// again whenever it changes, so a switch between light and dark keeps every text legible.
class ToneLabel : public QLabel {
    Q_OBJECT

public:
    enum class Tone { secondary, tertiary, red, green };

    ToneLabel(Tone tone, const QString& text = {}, QWidget* parent = nullptr);

    void setTone(Tone tone);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyTone();

    Tone tone_;
};
