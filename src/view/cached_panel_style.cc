#include "view/cached_panel_style.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionFrame>

#include <cmath>
#include <optional>

namespace rtupoll {

namespace {

// Solid colours only: a gradient or a texture would be drawn relative to
// where the box sits.
bool solidPalette(const QPalette& palette) {
  for (int group = 0; group < QPalette::NColorGroups; ++group)
    for (int role = 0; role < QPalette::NColorRoles; ++role)
      if (role != QPalette::NoRole &&
          palette.brush(QPalette::ColorGroup(group), QPalette::ColorRole(role)).style() != Qt::SolidPattern)
        return false;
  return true;
}

}  // namespace

CachedPanelStyle* CachedPanelStyle::instance() {
  static CachedPanelStyle* style = [] {
    auto* created = new CachedPanelStyle;
    created->setParent(qApp);
    return created;
  }();
  return style;
}

const QPixmap* CachedPanelStyle::find(const Key& key) const {
  for (const Picture& picture : pictures_)
    if (picture.key == key) return &picture.pixmap;
  return nullptr;
}

void CachedPanelStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const {
  const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
  const qreal ratio = painter->device()->devicePixelRatio();
  // A picture is drawn pixel for pixel: only unscaled and unturned, at a
  // whole device pixel ratio.
  if (element != PE_PanelLineEdit || frame == nullptr || !painter->worldTransform().isIdentity() ||
      ratio != std::round(ratio) || !solidPalette(option->palette)) {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    return;
  }
  Key key{option->rect.size(), static_cast<int>(ratio), static_cast<int>(option->state), frame->lineWidth,
          frame->midLineWidth, static_cast<int>(frame->features), static_cast<int>(option->direction)};
  for (int group = 0; group < QPalette::NColorGroups; ++group)
    for (int role = 0; role < QPalette::NColorRoles; ++role)
      key.colors[static_cast<std::size_t>(group * QPalette::NColorRoles + role)] =
          option->palette.color(QPalette::ColorGroup(group), QPalette::ColorRole(role)).rgba();

  const QPixmap* picture = find(key);
  if (picture == nullptr) {
    QPixmap pixmap(option->rect.size() * key.device_pixel_ratio);
    pixmap.setDevicePixelRatio(key.device_pixel_ratio);
    pixmap.fill(Qt::transparent);
    QStyleOptionFrame at_origin(*frame);
    at_origin.rect.moveTo(0, 0);
    QPainter on_picture(&pixmap);
    QProxyStyle::drawPrimitive(element, &at_origin, &on_picture, widget);
    on_picture.end();
    if (pictures_.size() >= kPictures) pictures_.erase(pictures_.begin());
    pictures_.push_back({key, pixmap});
    picture = &pictures_.back().pixmap;
  }
  painter->drawPixmap(option->rect.topLeft(), *picture);
}

}  // namespace rtupoll
