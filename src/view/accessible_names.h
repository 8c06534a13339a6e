#pragma once

// What a screen reader announces for the window's controls. The captions on
// screen cannot tell the controls apart: the three device frames all read
// "Device A", the register boxes share one row caption and the data line has
// none. So every input gets a name of its own ("Device 2 port", "Read 4 first
// register"), the "IP Addres :" and "Port :" labels are tied to their boxes,
// and a status label is announced with what it is the status of, followed
// by its current text. Nothing visible changes.

class QWidget;

namespace rtupoll {

// `window` is the window's widget, its controls found by their names
// ("txtIP0", "strReg4", ...). Call before the window is first shown.
void nameForScreenReaders(QWidget& window);

}  // namespace rtupoll
