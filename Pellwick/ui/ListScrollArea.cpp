#include "ui/ListScrollArea.h"

ListScrollArea::ListScrollArea(int reservedBottom, QWidget* parent) : QScrollArea(parent) {
    setViewportMargins(0, 0, 0, reservedBottom);
}
