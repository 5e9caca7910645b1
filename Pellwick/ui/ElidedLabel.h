#pragma once

#include <QLabel>

// One line of text that ends in "…" only when it does not fit the width it is given, and then
// shows the whole text as its tooltip. It asks the layout for the whole text's width first.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    [[nodiscard]] const QString& fullText() const { return fullText_; }
    [[nodiscard]] bool isElided() const { return text() != fullText_; }

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fitText();

    QString fullText_;
};
