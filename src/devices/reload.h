#pragma once

#include "window/option_ip.h"

namespace rtupoll {

// One tick of the reload sequence (timer tloading).
void reloadStep(OptionIP& w);
// On each tick of the poll clock: a slot meant to be connected whose link
// the device closed or lost starts the reload sequence, whether or not a
// read uses it, unless a reload or countdown is already on its way.
void reloadLostLinks(OptionIP& w);
// One tick of the failure countdown (timer Timer2).
void countdownStep(OptionIP& w);
}  // namespace rtupoll
