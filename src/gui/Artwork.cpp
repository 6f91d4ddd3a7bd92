// SPDX-License-Identifier: GPL-2.0-or-later
#include "Artwork.h"

#include <QPainter>
#include <QSvgRenderer>

// The resources of a static library are registered by hand, outside any namespace.
static void RegisterArtwork() { Q_INIT_RESOURCE(kelvo); }

namespace kelvo::gui {
namespace {

QPixmap Render(const QString& resource, QSize size, qreal ratio) {
  static const bool registered = (RegisterArtwork(), true);
  Q_UNUSED(registered);
  QPixmap pixmap(size * ratio);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(resource);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  painter.end();
  pixmap.setDevicePixelRatio(ratio);
  return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addPixmap(Render(QStringLiteral(":/kelvo/icon.svg"), QSize(side, side), 1.0));
  }
  return icon;
}

QPixmap Banner(QSize size, qreal devicePixelRatio) {
  return Render(QStringLiteral(":/kelvo/banner.svg"), size, devicePixelRatio);
}

}  // namespace kelvo::gui
