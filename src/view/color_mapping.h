#pragma once

// The logic's colours (0x00BBGGRR, or a system colour when the top bit is
// set) as the colours the widgets paint with.

#include <QColor>
#include <QPalette>

#include "window/colors.h"

namespace rtupoll {

// System colours come from the palette, so the window follows the desktop's
// theme: the window background is the palette's base (the white of a text
// box), the face colour its button colour.
QColor toQColor(Color color, const QPalette& palette);

}  // namespace rtupoll
