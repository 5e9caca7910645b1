#pragma once

#include <QScrollArea>

// The scrolling form of the list. Its rows stop short of the bottom edge by `reservedBottom`,
// leaving a strip where the "More below" hint lies, so the hint never covers a row's text.
class ListScrollArea : public QScrollArea {
    Q_OBJECT

public:
    ListScrollArea(int reservedBottom, QWidget* parent = nullptr);
};
