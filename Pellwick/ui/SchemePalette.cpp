#include "ui/SchemePalette.h"

#include "ui/SystemStyle.h"

namespace {

struct Colors {
    QColor window;
    QColor text;
    QColor base;
    QColor button;
    QColor accent;
    QColor link;
    QColor disabledText;
};

QPalette paletteOf(const Colors& colors) {
    QPalette palette(colors.button, colors.window);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, colors.text);
        palette.setColor(group, QPalette::Text, colors.text);
        palette.setColor(group, QPalette::ButtonText, colors.text);
        palette.setColor(group, QPalette::Base, colors.base);
        palette.setColor(group, QPalette::AlternateBase, colors.window);
        palette.setColor(group, QPalette::Highlight, colors.accent);
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
        palette.setColor(group, QPalette::Link, colors.link);
        palette.setColor(group, QPalette::ToolTipBase, colors.base);
        palette.setColor(group, QPalette::ToolTipText, colors.text);
        palette.setColor(group, QPalette::PlaceholderText, colors.disabledText);
    }
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, colors.disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Base, colors.window);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, colors.accent);
    palette.setColor(QPalette::Disabled, QPalette::HighlightedText, Qt::white);
    return palette;
}

} // namespace

namespace SchemePalette {

// Adwaita's greys and blues, which KDE's Breeze comes close to: native next to the desktop's
// own windows in either scheme.
QPalette light() {
    return paletteOf({.window = QColor(0xf6, 0xf5, 0xf4),
                      .text = QColor(0x1e, 0x1e, 0x1e),
                      .base = Qt::white,
                      .button = QColor(0xec, 0xeb, 0xea),
                      .accent = QColor(0x1c, 0x71, 0xd8),
                      .link = QColor(0x1a, 0x5f, 0xb4),
                      .disabledText = QColor(0x66, 0x66, 0x66)});
}

QPalette dark() {
    return paletteOf({.window = QColor(0x24, 0x24, 0x24),
                      .text = QColor(0xf6, 0xf5, 0xf4),
                      .base = QColor(0x1e, 0x1e, 0x1e),
                      .button = QColor(0x3a, 0x3a, 0x3a),
                      .accent = QColor(0x1c, 0x71, 0xd8),
                      .link = QColor(0x78, 0xae, 0xed),
                      .disabledText = QColor(0xa8, 0xa8, 0xa8)});
}

QPalette forScheme(ColorScheme scheme) {
    return scheme == ColorScheme::dark ? dark() : light();
}

} // namespace SchemePalette
