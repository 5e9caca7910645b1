#include "ui/ElidedLabel.h"

#include <QEvent>

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text) {
    if (text == fullText_)
        return;
    fullText_ = text;
    setAccessibleName(fullText_);
    updateGeometry();
    fitText();
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(fullText_) + 1, metrics.height()};
}

// Two letters and the ellipsis: a title never vanishes entirely.
QSize ElidedLabel::minimumSizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {std::min(sizeHint().width(), metrics.horizontalAdvance(QStringLiteral("Mm…"))),
            metrics.height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fitText();
}

void ElidedLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitText();
}

void ElidedLabel::fitText() {
    const QString shown = fontMetrics().elidedText(fullText_, Qt::ElideRight, width());
    if (shown != text())
        setText(shown);
    setToolTip(shown == fullText_ ? QString() : fullText_);
}
