#pragma once

#include <QLabel>
#include <QString>

// One of our symbols (Icons.h) as a label, tinted from the palette and drawn again when the
// theme changes, so light and dark panels both show it in the right colour.
class SymbolLabel : public QLabel {
    Q_OBJECT

public:
    enum class Tint { primary, secondary, red };

    SymbolLabel(QString symbol, int logicalSize, Tint tint, QWidget* parent = nullptr);

    [[nodiscard]] const QString& symbol() const { return symbol_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void render();

    QString symbol_;
    int logicalSize_;
    Tint tint_;
};
