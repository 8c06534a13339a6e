#include "view/results_cell_delegate.h"

#include <QApplication>
#include <QPainter>

#include "view/digit_glyphs.h"

namespace rtupoll {

namespace {

// Only the simplest cell: the style's own drawing of it is the text alone.
bool plainCell(const QStyleOptionViewItem& option) {
  constexpr auto kExtras = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration |
                           QStyleOptionViewItem::Alternate | QStyleOptionViewItem::WrapText;
  return !(option.state & (QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_Editing)) &&
         !(option.features & kExtras) && option.backgroundBrush.style() == Qt::NoBrush && option.icon.isNull() &&
         option.showDecorationSelected && option.direction == Qt::LeftToRight;
}

// Where a line of that width starts in a line box as wide as the cell's
// text, as Qt's text layout aligns it: in 1/64 pixel, halves cut off.
qreal alignedX(Qt::Alignment alignment, int box_width, qreal text_width) {
  const int free = box_width * 64 - qRound(text_width * 64);
  if (alignment & Qt::AlignRight) return free / 64.0;
  if (alignment & Qt::AlignHCenter) return free / 2 / 64.0;
  return 0;
}

}  // namespace

void ResultsCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QStyleOptionViewItem cell = option;
  initStyleOption(&cell, index);
  if (!plainCell(cell)) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  if (cell.text.isEmpty()) return;  // no background, no text: nothing to draw

  const QWidget* widget = cell.widget;
  const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
  // The text takes the whole cell, less the focus frame's margin on each side.
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
  const QRect text_rect = cell.rect.adjusted(margin, 0, -margin, 0);
  const std::optional<DigitRun> run = DigitRun::shape(cell.text, cell.font, painter->device()->devicePixelRatio());
  // Other characters, and a text wider than its cell, which would go
  // through the style's eliding.
  if (!run || run->width() > text_rect.width()) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  const QRect aligned = QStyle::alignedRect(Qt::LayoutDirectionAuto, cell.displayAlignment,
                                            QSize(text_rect.width(), run->height()), text_rect);
  QPointF at(text_rect.x(), aligned.top());
  if (run->height() + aligned.top() <= text_rect.top()) at.ry() += run->height();
  at += QPointF(alignedX(QStyle::visualAlignment(cell.direction, cell.displayAlignment), text_rect.width(),
                         run->width()),
                run->ascent());

  QPalette::ColorGroup group = cell.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
  if (group == QPalette::Normal && !(cell.state & QStyle::State_Active)) group = QPalette::Inactive;

  // The style clips the text to the cell; glyphs that stay well inside it
  // (a pixel of anti-aliasing and hinting beyond their outlines) need no clip.
  const bool inside = QRectF(cell.rect).contains(run->inkBounds().translated(at).adjusted(-2, -2, 2, 2));
  const QPen pen = painter->pen();
  if (!inside) {
    painter->save();
    painter->setClipRect(cell.rect, painter->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
  }
  painter->setPen(cell.palette.color(group, QPalette::Text));
  run->draw(painter, at);
  if (inside)
    painter->setPen(pen);
  else
    painter->restore();
}

}  // namespace rtupoll
