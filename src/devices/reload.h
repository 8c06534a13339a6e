#pragma once

#include "window/option_ip.h"

namespace rtupoll {

// One tick of the reload sequence (timer tloading).
void reloadStep(OptionIP& w);
// One tick of the failure countdown (timer Timer2).
void countdownStep(OptionIP& w);
}  // namespace rtupoll
