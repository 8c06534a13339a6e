#pragma once

#include "window/option_ip.h"

namespace rtupoll {

// Connects slot `index`, waiting at most two seconds with the event loop
// running, and shows the outcome in the slot's status label.
void connectSlot(OptionIP& w, int index);
// Closes slot `index`, waiting at most two seconds for it to close.
void disconnectSlot(OptionIP& w, int index);

// The Connect and DisConect buttons: the operator's choice also decides
// whether the reload sequence keeps a saved slot connected this run.
void connectByOperator(OptionIP& w, int index);
void disconnectByOperator(OptionIP& w, int index);
}  // namespace rtupoll
