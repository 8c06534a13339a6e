#include "view/text_box_edit.h"

#include <QPainter>
#include <QStyleOptionFrame>

#include <optional>

#include "view/digit_glyphs.h"

namespace rtupoll {

namespace {

// QLineEdit's margins around its line, in pixels.
constexpr int kVerticalMargin = 1;
constexpr int kHorizontalMargin = 2;

}  // namespace

bool TextBoxEdit::plain() const {
  return window()->focusWidget() != this && !hasSelectedText() && echoMode() == Normal && inputMask().isEmpty() &&
         layoutDirection() == Qt::LeftToRight && actions().isEmpty() && !testAttribute(Qt::WA_StyleSheet);
}

std::optional<QPoint> TextBoxEdit::lineStart(const QRect& contents, const DigitRun& run) const {
  const Qt::Alignment alignment = QStyle::visualAlignment(layoutDirection(), this->alignment());
  if (alignment & (Qt::AlignRight | Qt::AlignHCenter)) return std::nullopt;
  const QFontMetrics metrics = fontMetrics();
  // The line is as high as the font's, unless the text's ink is higher.
  if (run.inkHeight() > metrics.height()) return std::nullopt;
  const int height = metrics.height();
  int top = contents.y() + (contents.height() - height + 1) / 2;
  switch (alignment & Qt::AlignVertical_Mask) {
    case Qt::AlignTop:
      top = contents.y() + kVerticalMargin;
      break;
    case Qt::AlignBottom:
      top = contents.y() + contents.height() - height - kVerticalMargin;
      break;
    default:
      break;
  }
  const QRect line(contents.x() + kHorizontalMargin, top, contents.width() - 2 * kHorizontalMargin, height);
  if (qRound(run.width()) + 1 > line.width()) return std::nullopt;
  // Keeps the baseline where QLineEdit keeps it whatever the text's script.
  return line.topLeft() - QPoint(0, qRound(run.ascent()) - metrics.ascent());
}

void TextBoxEdit::paintEvent(QPaintEvent* event) {
  QStyleOptionFrame panel;
  initStyleOption(&panel);
  const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &panel, this) - textMargins();
  const std::optional<DigitRun> run = plain() ? DigitRun::shape(text(), font(), devicePixelRatioF()) : std::nullopt;
  const std::optional<QPoint> start = run ? lineStart(contents, *run) : std::nullopt;
  if (!start || !fitted_) {
    fitted_ = start.has_value();
    QLineEdit::paintEvent(event);
    return;
  }
  QPainter painter(this);
  style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
  painter.setClipRect(contents);
  painter.setPen(palette().text().color());
  run->draw(&painter, QPointF(*start) + QPointF(0, run->ascent()));
}

}  // namespace rtupoll
