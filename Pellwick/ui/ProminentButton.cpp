#include "ui/ProminentButton.h"

#include "ui/SystemStyle.h"

#include <QApplication>
#include <QEvent>

ProminentButton::ProminentButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    applyStyle();
}

void ProminentButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyStyle();
}

void ProminentButton::applyStyle() {
    const QPalette palette = QApplication::palette();
    const QColor accent = SystemStyle::accent(palette);
    const QColor text = palette.color(QPalette::HighlightedText);
    const QString style =
        QStringLiteral(
            "QPushButton { background-color: %1; color: %2; border: 2px solid %1; "
            "border-radius: 6px; padding: 5px 16px; }"
            "QPushButton:focus { border-color: %2; }"
            "QPushButton:pressed { background-color: %3; }"
            "QPushButton:disabled { background-color: %4; color: %5; border-color: %4; }")
            .arg(accent.name(), text.name(), accent.darker(115).name(),
                 palette.color(QPalette::Button).name(),
                 palette.color(QPalette::Disabled, QPalette::ButtonText).name());
    if (styleSheet() != style)
        setStyleSheet(style);
}
