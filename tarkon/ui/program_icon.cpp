#include "tarkon/ui/program_icon.h"

#include <QPainter>
#include <QPixmap>

namespace {

// The 64 x 64 drawing of tarkon.svg, scaled to `size`.
QPixmap Draw(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x3b, 0x5b, 0x7f));
  p.drawRoundedRect(QRectF(4, 18, 26, 28), 3, 3);
  p.setBrush(QColor(0xee, 0x33, 0x33));
  p.drawEllipse(QPointF(23, 32), 5, 5);
  p.setPen(QPen(QColor(0xee, 0x33, 0x33), 3));
  p.drawLine(QPointF(28, 32), QPointF(56, 32));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x77, 0x77, 0x77));
  p.drawRect(QRectF(56, 14, 4, 36));
  p.setPen(QPen(QColor(0x3b, 0x5b, 0x7f), 3));
  for (int x : {8, 16, 24}) p.drawLine(QPointF(x, 50), QPointF(x, 56));
  return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) icon.addPixmap(Draw(size));
  return icon;
}
