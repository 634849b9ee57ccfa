#pragma once

#include "layout/controlinventory.h"

#include <QFont>

namespace koru::layout {

// The two face names the design asks for. Where they are missing the
// substitutes installed by installFontSubstitutes() stand in.
inline constexpr char kGothicFace[] = "ＭＳ ゴシック";           // G: fixed pitch
inline constexpr char kProportionalGothicFace[] = "ＭＳ Ｐゴシック"; // P: proportional

// Registers, in order of preference, the installed Japanese faces that stand
// in for G and P. Process-wide; called once by applyPanelLook().
void installFontSubstitutes();

// The font of a control: face, size in whole pixels, weight.
QFont panelFont(const FontSetting &font);

// The window's own font; nothing is drawn in it.
QFont windowFont();

} // namespace koru::layout
