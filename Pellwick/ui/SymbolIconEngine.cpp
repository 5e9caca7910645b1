#include "ui/SymbolIconEngine.h"

#include "ui/Icons.h"

#include <QPainter>

SymbolIconEngine::SymbolIconEngine(QString symbol, QColor color)
    : symbol_(std::move(symbol)), color_(color) {
}

void SymbolIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
                             QIcon::State state) {
    const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
}

QPixmap SymbolIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return scaledPixmap(size, mode, state, 1.0);
}

QPixmap SymbolIconEngine::scaledPixmap(const QSize& size, QIcon::Mode, QIcon::State, qreal scale) {
    const QSize pixels = size * scale;
    const QImage image =
        symbol_.isEmpty() ? Icons::applicationImage(pixels) : Icons::image(symbol_, color_, pixels);
    QPixmap result = QPixmap::fromImage(image);
    result.setDevicePixelRatio(scale);
    return result;
}

QIconEngine* SymbolIconEngine::clone() const {
    return new SymbolIconEngine(symbol_, color_);
}

QString SymbolIconEngine::key() const {
    return QStringLiteral("PellwickSymbol");
}
