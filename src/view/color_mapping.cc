#include "view/color_mapping.h"

namespace rtupoll {

QColor toQColor(Color color, const QPalette& palette) {
  if (!colors::isSystem(color)) return QColor(colors::red(color), colors::green(color), colors::blue(color));
  switch (color) {
    case colors::kWindowBackground: return palette.color(QPalette::Base);
    case colors::kButtonFace: return palette.color(QPalette::Button);
    default: return palette.color(QPalette::Window);
  }
}

}  // namespace rtupoll
