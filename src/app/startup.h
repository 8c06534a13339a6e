#pragma once

#include "window/option_ip.h"

namespace rtupoll {

// The window's load handler: sizes the results table, fills the controls
// from the settings file, writes the register captions and starts the
// reload sequence.
void startUp(OptionIP& w);
// The window's unload handler: writes the settings back, and tells when it
// cannot; never refuses.
void shutDown(OptionIP& w);
}  // namespace rtupoll
