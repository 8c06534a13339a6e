#include "view/window_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace rtupoll {

namespace {

// 8.25 points: the em size the layout was drawn for.
constexpr int kEmTwips = 165;

}  // namespace

QFont windowFont(const TwipScale& scale) {
  QFont font;
  // Arial's widths: Liberation Sans and Arimo are metric copies of Arial.
  // A wider family (DejaVu Sans is about a tenth wider) would overrun the
  // five-digit register captions of the 800-twip table columns.
  font.setFamilies({"Liberation Sans", "Arimo", "Arial"});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(scale.y(kEmTwips));
  return font;
}

void addCarriedWindowFont() {
  // Windows has Arial but not Liberation Sans, Wine neither of them; with
  // the font carried, the window looks the same on all of them.
  QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/LiberationSans-Regular.ttf"));
}

}  // namespace rtupoll
