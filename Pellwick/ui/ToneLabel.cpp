#include "ui/ToneLabel.h"

#include "ui/SystemStyle.h"

#include <QApplication>
#include <QEvent>

namespace {

QColor toneColor(ToneLabel::Tone tone, const QPalette& palette) {
    switch (tone) {
    case ToneLabel::Tone::secondary:
        return SystemStyle::secondary(palette);
    case ToneLabel::Tone::tertiary:
        return SystemStyle::tertiary(palette);
    case ToneLabel::Tone::red:
        return SystemStyle::redText(palette);
    case ToneLabel::Tone::green:
        return SystemStyle::greenText(palette);
    }
    return SystemStyle::primary(palette);
}

} // namespace

ToneLabel::ToneLabel(Tone tone, const QString& text, QWidget* parent)
    : QLabel(text, parent), tone_(tone) {
    applyTone();
}

void ToneLabel::setTone(Tone tone) {
    if (tone == tone_)
        return;
    tone_ = tone;
    applyTone();
}

void ToneLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyTone();
}

// From the application's palette, not the label's own, which holds the tone set last time.
void ToneLabel::applyTone() {
    const QColor color = toneColor(tone_, QApplication::palette());
    if (palette().color(QPalette::WindowText) == color)
        return;
    QPalette own = palette();
    own.setColor(QPalette::WindowText, color);
    setPalette(own);
}
