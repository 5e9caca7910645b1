#pragma once

#include "platform/ColorSchemeSource.h"

#include <QPalette>

// The colours of Pellwick's windows in the desktop's light and dark schemes. Qt 6.4 follows
// neither on its own on Linux, so the program sets one of these as the application palette.
// Each text colour (also disabled text, on windows and buttons) reaches the 4.5:1 contrast every
// text needs; the accent carries white text.
namespace SchemePalette {

[[nodiscard]] QPalette light();
[[nodiscard]] QPalette dark();
// Light unless the desktop prefers dark.
[[nodiscard]] QPalette forScheme(ColorScheme scheme);

} // namespace SchemePalette
