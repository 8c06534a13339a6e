#include "view/digit_glyphs.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <vector>

namespace rtupoll {

namespace {

constexpr char16_t kSet[] = u"0123456789?>-,";
constexpr std::size_t kChars = std::size(kSet) - 1;

// A character's place in kSet, or -1.
int slotOf(QChar c) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9') return u - u'0';
  for (std::size_t i = 10; i < kChars; ++i)
    if (kSet[i] == u) return static_cast<int>(i);
  return -1;
}

// Positions in 1/64 pixel, as Qt's text layout keeps them (QFixed).
int fixed(qreal pixels) { return qRound(pixels * 64); }

QTextLine layOut(QTextLayout& layout) {
  layout.beginLayout();
  QTextLine line = layout.createLine();
  layout.endLayout();
  return line;
}

// The set as Qt's text layout shapes it in one font.
struct Glyphs {
  QFont font;
  qreal ratio = 1;
  bool usable = true;  // every character has a glyph of the font itself
  QRawFont raw;
  std::array<quint32, kChars> index{};
  std::array<int, kChars> advance{};
  // What the second character moves the first one's advance by.
  std::array<std::array<int, kChars>, kChars> kerning{};
  qreal ascent = 0;
  int height = 0;
  int ink_height = 0;
  // The outlines' reach beyond an advance's box of the set: left of the
  // origin (at most 0), above and below the baseline, right of the advance.
  qreal ink_left = 0, ink_top = 0, ink_bottom = 0, ink_right = 0;
};

Glyphs shapeSet(const QFont& font, qreal ratio) {
  Glyphs g;
  g.font = font;
  g.ratio = ratio;
  for (std::size_t i = 0; i < kChars; ++i) {
    QTextLayout layout(QString(QChar(kSet[i])), font);
    const QTextLine line = layOut(layout);
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.size() != 1 || runs[0].glyphIndexes().size() != 1 || (i > 0 && runs[0].rawFont() != g.raw)) {
      g.usable = false;
      return g;
    }
    g.raw = runs[0].rawFont();
    g.index[i] = runs[0].glyphIndexes()[0];
    g.advance[i] = fixed(line.naturalTextWidth());
    const QRectF outline = g.raw.boundingRect(g.index[i]);
    g.ink_left = std::min(g.ink_left, outline.left());
    g.ink_top = std::min(g.ink_top, outline.top());
    g.ink_bottom = std::max(g.ink_bottom, outline.bottom());
    g.ink_right = std::max(g.ink_right, outline.right() - line.naturalTextWidth());
  }
  for (std::size_t a = 0; a < kChars; ++a)
    for (std::size_t b = 0; b < kChars; ++b) {
      const QChar chars[] = {QChar(kSet[a]), QChar(kSet[b])};
      QTextLayout pair(QString(chars, 2), font);
      g.kerning[a][b] = fixed(layOut(pair).naturalTextWidth()) - g.advance[a] - g.advance[b];
    }
  const QString all = QString::fromUtf16(kSet);
  QTextLayout layout(all, font);
  const QTextLine line = layOut(layout);
  g.ascent = line.ascent();
  g.height = static_cast<int>(line.height());
  g.ink_height = QFontMetrics(font).boundingRect(all).height();
  return g;
}

const Glyphs& glyphsFor(const QFont& font, qreal ratio) {
  // One font in one or two pixel ratios, as a rule; more means something
  // unusual is going on, and the oldest are dropped.
  constexpr std::size_t kFonts = 8;
  // Never destroyed: its fonts would outlive the application's font
  // engines at exit.
  static auto& shaped = *new std::vector<Glyphs>;
  for (const Glyphs& g : shaped)
    if (g.ratio == ratio && g.font == font) return g;
  if (shaped.size() >= kFonts) shaped.erase(shaped.begin());
  shaped.push_back(shapeSet(font, ratio));
  return shaped.back();
}

}  // namespace

std::optional<DigitRun> DigitRun::shape(const QString& text, const QFont& font, qreal device_pixel_ratio) {
  if (text.isEmpty()) return std::nullopt;
  const Glyphs& g = glyphsFor(font, device_pixel_ratio);
  if (!g.usable) return std::nullopt;
  QList<quint32> indexes(text.size());
  QList<QPointF> positions(text.size());
  int x = 0;
  int previous = -1;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const int slot = slotOf(text[i]);
    if (slot < 0) return std::nullopt;
    if (previous >= 0) x += g.kerning[previous][slot];
    indexes[i] = g.index[slot];
    positions[i] = QPointF(x / 64.0, 0);
    x += g.advance[slot];
    previous = slot;
  }
  DigitRun run;
  run.run_.setRawFont(g.raw);
  run.run_.setGlyphIndexes(indexes);
  run.run_.setPositions(positions);
  run.width_ = x / 64.0;
  run.ascent_ = g.ascent;
  run.height_ = g.height;
  run.ink_height_ = g.ink_height;
  run.ink_bounds_ = QRectF(QPointF(g.ink_left, g.ink_top), QPointF(run.width_ + g.ink_right, g.ink_bottom));
  return run;
}

void DigitRun::draw(QPainter* painter, QPointF origin) const { painter->drawGlyphRun(origin, run_); }

}  // namespace rtupoll
