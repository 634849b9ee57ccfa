#pragma once

#include <cmath>

namespace koru::layout {

// The panel is designed in twips: 1440 to the inch, 15 to a pixel at 96 dots
// per inch. Qt's own high-DPI scaling maps these logical pixels to the device.
inline constexpr double kTwipsPerPixel = 15.0;

// Half a pixel always rounds up, so neighbours that share an edge in twips
// share it in pixels too.
inline int twipsToPixels(double twips)
{
    return static_cast<int>(std::floor(twips / kTwipsPerPixel + 0.5));
}

inline double pixelsToTwips(double pixels)
{
    return pixels * kTwipsPerPixel;
}

} // namespace koru::layout
