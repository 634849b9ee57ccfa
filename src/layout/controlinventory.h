#pragma once

#include <vector>

namespace koru::layout {

enum class ControlKind { Frame, Label, PushButton, OptionButton, Line, Picture };

// "G" is the fixed-pitch Gothic face, "P" its proportional sibling.
enum class FontFace { None, G, P };

enum class TextAlign { Left, Centre, Right };

enum class Border { None, Single };

struct FontSetting
{
    FontFace face;
    double points; // 7.5, 8.25, 9 or 9.75: whole pixels at 96 dots per inch
    bool bold;
};

// One control of the window. Every length is in twips. Left and Top count
// from the container's top-left corner: the client area for a control on the
// window, the outer rectangle for a control in a frame. For a line the four
// numbers are its end points X1, Y1, X2, Y2 in window coordinates.
struct ControlEntry
{
    ControlKind kind;
    const char *name;
    const char *container; // kWindowContainer or the name of a frame
    const char *caption;   // UTF-8
    int left;
    int top;
    int width;
    int height;
    const char *ground; // face of a button, ground of anything else: "#RRGGBB" or "system"
    const char *text;   // "#RRGGBB" or "default" (the system's button-text colour)
    FontSetting font;
    TextAlign align;
    Border border;
    int tabIndex; // -1: no place in the tab numbering
    bool shown;
    bool selected; // option buttons only
    const char *accessibleName;
};

inline constexpr char kWindowContainer[] = "window";
inline constexpr char kSystemColour[] = "system";
inline constexpr char kDefaultColour[] = "default";

// Every control of the window, once each. The order is the order of creation
// and so the stacking order: a row lies above the rows before it. Lines come
// first so they lie beneath everything, a frame comes before what it holds,
// and the port panel comes after the COM button it covers.
const std::vector<ControlEntry> &controlInventory();

// The row of the control with this name, or nullptr.
const ControlEntry *findControl(const char *name);

} // namespace koru::layout
