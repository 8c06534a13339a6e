#pragma once

// Draws a cell of the results table as the style draws an item view's cell,
// for the cells every poll cycle changes: text only, not selected, without
// focus, icon or check mark, of digits and the poll's few signs (DigitRun),
// fitting its cell. The style lays each cell's text out three times to draw
// it once (its size, whether it needs eliding, then the text); here its
// glyphs are drawn where the style would draw them. Any other cell is left
// to the style.

#include <QStyledItemDelegate>

namespace rtupoll {

class ResultsCellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace rtupoll
