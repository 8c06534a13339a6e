#pragma once

// The reload sequence's progress bar. The sequence moves it every 5 ms for
// five seconds on end, and again every ten seconds while a saved device
// stays down. On its own, a QProgressBar repaints all of itself at once
// whenever it has moved by a chunk: 700k instructions for Fusion's rounded,
// shaded bar. This one repaints at the same moments, with the rest of the
// window's refresh, and in Fusion only the stretch where the drawing
// changes: between the end the bar last showed and its new end.

#include <QProgressBar>

namespace rtupoll {

class ProgressBarView : public QProgressBar {
 public:
  using QProgressBar::QProgressBar;

  // Moves the bar, repainting it when QProgressBar would.
  void showValue(int value);
  // The part of the bar that a move between the two values changes.
  QRect changedStretch(int from, int to) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // QProgressBar's own rule: a move of at least a chunk, or to either end.
  bool repaintRequired() const;

  int painted_ = -1;  // the value the bar last showed
};

}  // namespace rtupoll
