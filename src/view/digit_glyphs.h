#pragma once

// The texts the poll writes again and again, register values and captions
// ("65535", "40001>>", "???") and the data line (",1>>,1045,2>>,???"),
// drawn from glyphs shaped once. Qt's text layout itemizes, shapes and
// places a text anew each time it is laid out, some 20k instructions for a
// five-digit cell; these texts use only "0"-"9", "?", ">", "-" and ",". Each
// of these characters, and each pair of them (the font kerns "11"), is
// laid out once per font and device pixel ratio by Qt's own text layout; a
// text is then placed from those advances, to the 1/64 pixel that Qt's
// layout would place it at, and drawn as one glyph run: the same glyphs at
// the same places, so the same pixels.
//
// A text with any other character gets no run: the caller leaves it to
// the style.

#include <QFont>
#include <QGlyphRun>
#include <QString>

#include <optional>

class QPainter;

namespace rtupoll {

class DigitRun {
 public:
  // The text laid out in one line, left to right, as QTextLayout lays it
  // out in font; nothing when the text is empty or has a character outside
  // the set.
  static std::optional<DigitRun> shape(const QString& text, const QFont& font, qreal device_pixel_ratio);

  // All in pixels, as QTextLine gives them: the text's natural width, the
  // line's ascent and height (ascent and descent, rounded up).
  qreal width() const { return width_; }
  qreal ascent() const { return ascent_; }
  int height() const { return height_; }
  // The height of fontMetrics().boundingRect() of any text of the set: that
  // of all of the set's characters together.
  int inkHeight() const { return ink_height_; }
  // Where the glyphs' outlines may reach, relative to the baseline's start:
  // the bounds of every character of the set, from the first glyph's
  // origin to the last one's advance.
  QRectF inkBounds() const { return ink_bounds_; }

  // Draws the text with the painter's pen, its baseline starting at `origin`.
  void draw(QPainter* painter, QPointF origin) const;

 private:
  DigitRun() = default;

  QGlyphRun run_;
  qreal width_ = 0;
  qreal ascent_ = 0;
  int height_ = 0;
  int ink_height_ = 0;
  QRectF ink_bounds_;
};

}  // namespace rtupoll
