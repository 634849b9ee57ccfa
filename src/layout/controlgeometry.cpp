#include "layout/controlgeometry.h"

#include "layout/twips.h"

#include <algorithm>

namespace koru::layout {

QRect pixelRect(const ControlEntry &entry)
{
    if (entry.kind == ControlKind::Line) {
        const QPoint a(twipsToPixels(entry.left), twipsToPixels(entry.top));
        const QPoint b(twipsToPixels(entry.width), twipsToPixels(entry.height));
        const QPoint topLeft(std::min(a.x(), b.x()), std::min(a.y(), b.y()));
        const QPoint far(std::max(a.x(), b.x()) + kLineWidthPixels - 1,
                         std::max(a.y(), b.y()) + kLineWidthPixels - 1);
        return QRect(topLeft, far);
    }
    const int left = twipsToPixels(entry.left);
    const int top = twipsToPixels(entry.top);
    const int right = twipsToPixels(entry.left + entry.width);
    const int bottom = twipsToPixels(entry.top + entry.height);
    return QRect(left, top, right - left, bottom - top);
}

} // namespace koru::layout
