#include "ui/SymbolLabel.h"

#include "ui/Icons.h"
#include "ui/SystemStyle.h"

#include <QEvent>

SymbolLabel::SymbolLabel(QString symbol, int logicalSize, Tint tint, QWidget* parent)
    : QLabel(parent), symbol_(std::move(symbol)), logicalSize_(logicalSize), tint_(tint) {
    setFixedSize(logicalSize_, logicalSize_);
    render();
}

void SymbolLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        render();
}

void SymbolLabel::render() {
    QColor color;
    switch (tint_) {
    case Tint::primary:
        color = SystemStyle::primary(palette());
        break;
    case Tint::secondary:
        color = SystemStyle::secondary(palette());
        break;
    case Tint::red:
        color = SystemStyle::redText(palette());
        break;
    }
    setPixmap(Icons::pixmap(symbol_, color, logicalSize_, devicePixelRatioF()));
}
