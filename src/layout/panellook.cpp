#include "layout/panellook.h"

#include "layout/controlinventory.h"
#include "layout/panelbuilder.h"
#include "layout/panelfonts.h"
#include "layout/panelstyle.h"

#include <QApplication>
#include <QIcon>

#include <cstring>

namespace koru::layout {

QPalette panelPalette()
{
    const QColor grey(kPanelGrey);
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    QPalette palette(black, grey, white, QColor(0x80, 0x80, 0x80), QColor(0xA0, 0xA0, 0xA0),
                     black, white, white, grey);
    palette.setColor(QPalette::ButtonText, black);
    palette.setColor(QPalette::Highlight, QColor(0x00, 0x00, 0x80));
    palette.setColor(QPalette::HighlightedText, white);
    palette.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE1));
    palette.setColor(QPalette::ToolTipText, black);
    palette.setColor(QPalette::PlaceholderText, QColor(0x80, 0x80, 0x80));
    const QColor disabledText(0x80, 0x80, 0x80);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabledText);
    return palette;
}

QColor inventoryColour(const char *value, const QColor &fallback)
{
    if (std::strcmp(value, kSystemColour) == 0 || std::strcmp(value, kDefaultColour) == 0)
        return fallback;
    return QColor::fromString(QLatin1String(value));
}

void applyPanelLook(QApplication &app)
{
    // Fusion honours the palette on every desktop; the panel's own push
    // buttons are drawn over it (see PanelStyle). The application owns it.
    app.setStyle(new PanelStyle);
    app.setPalette(panelPalette());
    installFontSubstitutes();

    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/koru/icons/hicolor/koru-panel-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);
}

} // namespace koru::layout
