#pragma once

// The background and frame of a text box, as the application's style draws
// them, kept as a picture. Fusion draws a text box's anti-aliased rounded
// frame anew at every repaint, about 300k instructions, though it changes
// only with the box's size, state and colours; and the data line is
// repainted every second, and twice more while its cursor blinks. The
// picture is the style's own drawing, made once and drawn over the same
// background, so the box looks exactly as before. Everything else is drawn
// by the application's style.

#include <QPixmap>
#include <QProxyStyle>
#include <QRgb>

#include <array>
#include <vector>

namespace rtupoll {

class CachedPanelStyle : public QProxyStyle {
 public:
  // One for the whole application, which owns it; for text boxes only (a
  // combo box's editor leaves its frame to the combo box).
  static CachedPanelStyle* instance();

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;

 private:
  CachedPanelStyle() = default;

  static constexpr std::size_t kColors =
      static_cast<std::size_t>(QPalette::NColorGroups) * static_cast<std::size_t>(QPalette::NColorRoles);

  // Everything the drawing may depend on but the widget itself.
  struct Key {
    QSize size;
    int device_pixel_ratio = 1;
    int state = 0;
    int line_width = 0;
    int mid_line_width = 0;
    int features = 0;
    int direction = 0;
    std::array<QRgb, kColors> colors{};
    bool operator==(const Key&) const = default;
  };

  struct Picture {
    Key key;
    QPixmap pixmap;
  };

  const QPixmap* find(const Key& key) const;

  // A handful of sizes, states and colours; more means something unusual
  // is going on, and the oldest are dropped.
  static constexpr std::size_t kPictures = 32;
  mutable std::vector<Picture> pictures_;
};

}  // namespace rtupoll
