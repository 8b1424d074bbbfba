#include "ui/app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace banklore {

namespace {

QPixmap drawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal unit = size / 16.0;
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(40, 52, 72));
  painter.drawRoundedRect(QRectF(0, 0, size, size), 2.5 * unit, 2.5 * unit);
  // Two banks, each a column of rows with one highlighted, as in the main window.
  for (int bank = 0; bank < 2; ++bank) {
    const qreal left = (bank == 0 ? 2.0 : 9.0) * unit;
    for (int row = 0; row < 5; ++row) {
      const bool highlighted = row == (bank == 0 ? 1 : 3);
      painter.setBrush(highlighted ? QColor(255, 170, 40) : QColor(200, 214, 232));
      painter.drawRect(QRectF(left, (2.5 + row * 2.4) * unit, 5 * unit, 1.4 * unit));
    }
  }
  return pixmap;
}

}  // namespace

QIcon applicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) icon.addPixmap(drawIcon(size));
  return icon;
}

}  // namespace banklore
