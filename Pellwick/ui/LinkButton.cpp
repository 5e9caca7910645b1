#include "ui/LinkButton.h"

#include "ui/SystemStyle.h"

#include <QApplication>
#include <QEvent>

LinkButton::LinkButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setFont(SystemStyle::font(SystemStyle::TextSize::caption));
    setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; text-align: left; }"));
    applyLinkColor();
}

void LinkButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyLinkColor();
}

// From the application's palette: the button's own holds the colour set last time.
void LinkButton::applyLinkColor() {
    const QColor color = SystemStyle::link(QApplication::palette());
    if (palette().color(QPalette::ButtonText) == color)
        return;
    QPalette own = palette();
    own.setColor(QPalette::ButtonText, color);
    setPalette(own);
}
