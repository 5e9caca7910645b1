#pragma once

#include <QPushButton>

// A button filled with the accent colour, like the desktop's suggested action, restyled from
// the application palette when the scheme changes. Disabled, it turns into a plain button
// whose title stays legible (a paler accent under white text would not be). Its focus ring
// lies inside the fill in the title's colour, so it shows on the accent.
class ProminentButton : public QPushButton {
    Q_OBJECT

public:
    explicit ProminentButton(const QString& text = {}, QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyStyle();
};
