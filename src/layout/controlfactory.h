#pragma once

#include "layout/controlinventory.h"

class QWidget;

namespace koru::layout {

// Resource path of the logo shown by the picture control.
inline constexpr char kLogoResource[] = ":/koru/logo.png";

// Creates the widget of one inventory row inside `parent` and gives it its
// kind's look: caption, font, colours, alignment, border, selection. Name,
// place, visibility and tab order are the builder's.
QWidget *createControl(const ControlEntry &entry, QWidget *parent);

} // namespace koru::layout
