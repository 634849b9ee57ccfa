#pragma once

class QApplication;
class QWidget;

namespace koru::layout {

inline constexpr char kWindowTitle[] = "KORU   LMV5 & PK4   CONTROL  Ver.1.30";

// The window's design size in twips. The client area is what the panel draws;
// the border (330 above, title bar included, and 45 at each other side) is the
// design's allowance for the window manager's frame.
inline constexpr int kClientWidthTwips = 9495;
inline constexpr int kClientHeightTwips = 6825;
inline constexpr int kBorderTopTwips = 330;
inline constexpr int kBorderSideTwips = 45;
inline constexpr int kOuterWidthTwips = kClientWidthTwips + 2 * kBorderSideTwips;   // 9585
inline constexpr int kOuterHeightTwips = kClientHeightTwips + kBorderTopTwips + kBorderSideTwips; // 7200

// Process-wide look: the Fusion style (it honours palettes on every desktop)
// with push buttons drawn flat in their own face colour, the panel's palette,
// substitutes for the two Japanese faces, and the window icon.
void applyPanelLook(QApplication &app);

// Creates every control of the inventory inside `window`, each with its
// objectName and accessible name, at its place, in its tab order, and gives
// the window its grey ground and font. Call once, after applyPanelLook().
// The controls are found by name: window->findChild<koru::PanelButton *>("Command17").
void buildPanel(QWidget *window);

} // namespace koru::layout
