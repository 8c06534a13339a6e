#pragma once

namespace rtupoll {
class OptionIP;

// Sends the Modbus TCP read request of the current row's read definition,
// or marks its values "???" and moves the poll on when its slot is down.
void sendReadRequest(OptionIP& w);
}  // namespace rtupoll
