#pragma once

namespace rtupoll {
class OptionIP;

// Moves the poll on to the next read definition and sends its request.
void pollStep(OptionIP& w);

// Ends the current read definition: the next step follows 10 ms later, or,
// after the last one, the cycle's highlight ends and the cycle rests until
// the next tick of the poll clock.
void finishRead(OptionIP& w);

}  // namespace rtupoll
