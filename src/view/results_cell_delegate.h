#pragma once

// Draws a cell of the results table as the style draws an item view's cell,
// for the cells every poll cycle changes: text only, not selected, without
// focus, icon or check mark. The style lays each cell's text out three times
// to draw it once (its size, whether it needs eliding, then the text); here
// it is laid out once, and drawn at the place the style would draw it. Any
// other cell is left to the style.

#include <QStyledItemDelegate>

namespace rtupoll {

class ResultsCellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace rtupoll
