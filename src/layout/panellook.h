#pragma once

#include <QColor>
#include <QPalette>

namespace koru::layout {

// The ground of the window and of every frame.
inline constexpr QRgb kPanelGrey = 0xC0C0C0;

// The colours of the classic light scheme the panel was drawn for, whatever
// the desktop's theme: grey grounds, black text, white boxes.
QPalette panelPalette();

// A colour of the inventory: "#RRGGBB", or `fallback` for "system"/"default".
QColor inventoryColour(const char *value, const QColor &fallback);

} // namespace koru::layout
