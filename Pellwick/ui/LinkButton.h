#pragma once

#include <QPushButton>

// A borderless button drawn as link text in the accent colour, in caption size.
class LinkButton : public QPushButton {
    Q_OBJECT

public:
    explicit LinkButton(const QString& text, QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyLinkColor();
};
