// The program's icon, compiled in from the build's drawings of
// packaging/desktop/rtupoll.svg, and its desktop entry id.

#include "view/desktop_identity.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

#include <algorithm>

#include <gtest/gtest.h>

namespace rtupoll {
namespace {

TEST(DesktopIdentityTest, TheApplicationCarriesTheIconInEverySizeAndItsEntryId) {
  presentToDesktop();
  EXPECT_EQ(QGuiApplication::desktopFileName(), "org.rtupoll.rtupoll");

  const QIcon icon = QGuiApplication::windowIcon();
  QList<int> sides;
  for (const QSize& size : icon.availableSizes()) sides << size.width();
  std::sort(sides.begin(), sides.end());
  EXPECT_EQ(sides, QList<int>({16, 22, 24, 32, 48, 64, 128, 256}));

  // Drawn, not blank: the corner is clear, the middle is the table's white
  // and the lamp at the bottom right is green.
  const QImage drawn = icon.pixmap(QSize(64, 64)).toImage();
  ASSERT_EQ(drawn.size(), QSize(64, 64));
  EXPECT_EQ(drawn.pixelColor(0, 0).alpha(), 0);
  EXPECT_GT(drawn.pixelColor(40, 42).lightness(), 200);
  const QColor lamp = drawn.pixelColor(48, 52);
  EXPECT_GT(lamp.green(), 150);
  EXPECT_LT(lamp.red(), 100);
}

}  // namespace
}  // namespace rtupoll
