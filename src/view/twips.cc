#include "view/twips.h"

#include <QPaintDevice>

namespace rtupoll {

TwipScale::TwipScale(const QPaintDevice& device) : TwipScale(device.logicalDpiX(), device.logicalDpiY()) {}

}  // namespace rtupoll
