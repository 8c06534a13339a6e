#pragma once

// A text box of the window. The data line and the results' neighbours get a
// new text of digits every second while nobody types in them; such a text
// is drawn from its glyphs (DigitRun) where QLineEdit would draw it, instead
// of QLineEdit's own painting, which lays the whole text out twice (its ink
// height, then the line). A box that has or had the keyboard focus, shows a
// selection, or holds another text is QLineEdit's own, and typing,
// selecting and the accessible text are QLineEdit's throughout.

#include <QLineEdit>

#include <optional>

namespace rtupoll {

class DigitRun;

class TextBoxEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Whether QLineEdit would draw the text alone, at the left of its line.
  bool plain() const;
  // The line's top left for QLineEdit's drawing of `run`, or nothing when
  // it would not fit or not align left.
  std::optional<QPoint> lineStart(const QRect& contents, const DigitRun& run) const;

  // QLineEdit keeps how far it scrolled its text at its last painting, for
  // the clicks that follow; the text is drawn here only after QLineEdit has
  // painted a text that fit, so that this is where a fitting text starts.
  bool fitted_ = false;
};

}  // namespace rtupoll
