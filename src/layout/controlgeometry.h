#pragma once

#include "layout/controlinventory.h"

#include <QRect>

namespace koru::layout {

// Width of the lines that outline the cursor pad, in pixels.
inline constexpr int kLineWidthPixels = 2;

// Where a control lies in its container, in pixels.
//
// Each edge is converted on its own (left, top, and the right and bottom
// edges at Left + Width and Top + Height) and the size is what lies between,
// so controls that share an edge in twips share it in pixels and no pixel
// gap or overlap creeps in from rounding the sizes separately.
//
// A line becomes a strip kLineWidthPixels wide that starts on its upper (or
// left) end point and reaches past the other end by its width, so that two
// lines meeting at a corner close it.
QRect pixelRect(const ControlEntry &entry);

} // namespace koru::layout
