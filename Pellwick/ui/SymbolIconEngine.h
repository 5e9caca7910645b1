#pragma once

#include <QColor>
#include <QIconEngine>
#include <QString>

// Draws one of our symbols at exactly the size and device pixel ratio asked for, so an icon
// stays sharp at any scale instead of a bitmap being stretched.
class SymbolIconEngine : public QIconEngine {
public:
    // An empty `symbol` stands for the application icon, drawn in its own colours.
    SymbolIconEngine(QString symbol, QColor color);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override;
    [[nodiscard]] QIconEngine* clone() const override;
    [[nodiscard]] QString key() const override;

private:
    QString symbol_;
    QColor color_;
};
