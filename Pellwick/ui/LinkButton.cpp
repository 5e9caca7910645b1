#include "ui/LinkButton.h"

#include "ui/SystemStyle.h"

LinkButton::LinkButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setFont(SystemStyle::font(SystemStyle::TextSize::caption));
    setStyleSheet(QStringLiteral(
        "QPushButton { border: none; padding: 0; color: palette(highlight); text-align: left; }"));
}
