#pragma once

// The window's font. Every control has a fixed size in twips, drawn for an
// 8.25-point sans serif of Arial's widths, so the text inside them must be
// of that size too, whatever font the desktop offers: a 12-point desktop
// font would clip "IP Addres :" and the status texts. The size is scaled
// from twips exactly as the controls are.

#include <QFont>

#include "view/twips.h"

namespace rtupoll {

QFont windowFont(const TwipScale& scale);

// Adds the copy of the window's font that a Windows build carries
// (packaging/windows.cmake) to the fonts the program may use; elsewhere the
// system's fonts serve and it adds nothing. Call once, before the window
// is made.
void addCarriedWindowFont();

}  // namespace rtupoll
