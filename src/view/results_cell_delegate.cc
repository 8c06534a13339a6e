#include "view/results_cell_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QTextLayout>

namespace rtupoll {

namespace {

// Only the simplest cell: the style's own drawing of it is the text alone.
bool plainCell(const QStyleOptionViewItem& option) {
  constexpr auto kExtras = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration |
                           QStyleOptionViewItem::Alternate | QStyleOptionViewItem::WrapText;
  return !(option.state & (QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_Editing)) &&
         !(option.features & kExtras) && option.backgroundBrush.style() == Qt::NoBrush && option.icon.isNull() &&
         option.showDecorationSelected && !option.text.contains(QChar::LineFeed) &&
         !option.text.contains(QChar::LineSeparator);
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

  QTextOption text_option;
  text_option.setWrapMode(QTextOption::ManualWrap);
  text_option.setTextDirection(cell.direction);
  text_option.setAlignment(QStyle::visualAlignment(cell.direction, cell.displayAlignment));
  QTextLayout layout(cell.text, cell.font);
  layout.setTextOption(text_option);
  // Kept after the layout, so that drawing does not shape the text again.
  layout.setCacheEnabled(true);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  line.setLineWidth(text_rect.width());
  line.setPosition(QPointF(0, 0));
  layout.endLayout();
  // A text wider than its cell would go through the style's eliding.
  if (line.naturalTextWidth() > text_rect.width()) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  const QRect aligned = QStyle::alignedRect(Qt::LayoutDirectionAuto, cell.displayAlignment,
                                            layout.boundingRect().size().toSize(), text_rect);
  QPointF at(text_rect.x(), aligned.top());
  if (line.height() + aligned.top() <= text_rect.top()) at.ry() += line.height();

  QPalette::ColorGroup group = cell.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
  if (group == QPalette::Normal && !(cell.state & QStyle::State_Active)) group = QPalette::Inactive;

  painter->save();
  painter->setClipRect(cell.rect, painter->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
  painter->setPen(cell.palette.color(group, QPalette::Text));
  layout.draw(painter, at);
  painter->restore();
}

}  // namespace rtupoll
