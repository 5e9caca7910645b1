#pragma once

#include <QObject>

// The desktop's light or dark preference, as the freedesktop appearance setting names it.
enum class ColorScheme { noPreference, dark, light };

// Where the desktop's colour scheme preference comes from; it tells when the user changes it.
class ColorSchemeSource : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    [[nodiscard]] virtual ColorScheme colorScheme() const = 0;

signals:
    // Only on a real change.
    void colorSchemeChanged(ColorScheme scheme);
};
