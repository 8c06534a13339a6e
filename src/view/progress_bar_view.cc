#include "view/progress_bar_view.h"

#include <QStyle>
#include <QStyleOptionProgressBar>

#include <algorithm>
#include <cstdlib>

namespace rtupoll {

namespace {

// Fusion draws the bar's end with a rounded corner and a highlight line up
// to 4 pixels inside it, and its edge pixel just outside.
constexpr int kBeforeEnd = 6;
constexpr int kAfterEnd = 3;

}  // namespace

void ProgressBarView::showValue(int value) {
  if (value == this->value()) return;
  // QProgressBar::setValue repaints the whole bar there and then; this
  // repaints the part that changes, when the rest of the window is painted.
  setAttribute(Qt::WA_UpdatesDisabled, true);
  setValue(value);
  setAttribute(Qt::WA_UpdatesDisabled, false);
  if (repaintRequired()) update(changedStretch(painted_, this->value()));
}

QRect ProgressBarView::changedStretch(int from, int to) const {
  QStyleOptionProgressBar option;
  initStyleOption(&option);
  const bool plain_fusion = style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0 &&
                            orientation() == Qt::Horizontal && layoutDirection() == Qt::LeftToRight &&
                            !invertedAppearance() && maximum() > minimum();
  if (!plain_fusion || from < minimum() || to < minimum()) return rect();
  const QRect contents = style()->subElementRect(QStyle::SE_ProgressBarContents, &option, this);
  const auto end = [&](int value) {
    const qint64 steps = qint64(std::clamp(value, minimum(), maximum())) - minimum();
    return contents.left() + static_cast<int>(steps * contents.width() / (qint64(maximum()) - minimum()));
  };
  const int left = std::min(end(from), end(to)) - kBeforeEnd;
  const int right = std::max(end(from), end(to)) + kAfterEnd;
  return QRect(QPoint(left, 0), QPoint(right, height() - 1)) & rect();
}

void ProgressBarView::paintEvent(QPaintEvent* event) {
  QProgressBar::paintEvent(event);
  painted_ = value();
}

bool ProgressBarView::repaintRequired() const {
  if (value() == painted_) return false;
  if (value() == minimum() || value() == maximum()) return true;
  QStyleOptionProgressBar option;
  initStyleOption(&option);
  const int chunk = style()->pixelMetric(QStyle::PM_ProgressBarChunkWidth, &option, this);
  const QRect groove = style()->subElementRect(QStyle::SE_ProgressBarGroove, &option, this);
  const qint64 moved = std::abs(qint64(value()) - painted_);
  const qint64 steps = qint64(maximum()) - minimum();
  return moved * (orientation() == Qt::Horizontal ? groove.width() : groove.height()) > qint64(chunk) * steps;
}

}  // namespace rtupoll
