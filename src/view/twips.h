#pragma once

// The window's layout is in twips (1/1440 inch); the screen is in pixels.
// At 96 dots per inch 15 twips make one pixel.

#include <QRect>

#include "window/controls.h"

class QPaintDevice;

namespace rtupoll {

class TwipScale {
 public:
  // The logical resolution of the device the widgets are shown on.
  explicit TwipScale(const QPaintDevice& device);
  TwipScale(int dpi_x, int dpi_y) : dpi_x_(dpi_x), dpi_y_(dpi_y) {}

  int x(int twips) const { return toPixels(twips, dpi_x_); }
  int y(int twips) const { return toPixels(twips, dpi_y_); }
  QRect rect(const Geometry& g) const { return {x(g.left), y(g.top), x(g.width), y(g.height)}; }

 private:
  static int toPixels(int twips, int dpi) { return (twips * dpi + 720) / 1440; }

  int dpi_x_;
  int dpi_y_;
};

}  // namespace rtupoll
