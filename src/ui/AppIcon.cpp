#include "ui/AppIcon.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace zr7 {

namespace {

QPixmap Draw(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size / 32.0;
  // Pins on both sides, then the package.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(160, 160, 160));
  for (int i = 0; i < 4; ++i) {
    p.drawRect(QRectF(2 * s, (7 + 5 * i) * s, 4 * s, 2 * s));
    p.drawRect(QRectF(26 * s, (7 + 5 * i) * s, 4 * s, 2 * s));
  }
  p.setBrush(QColor(30, 30, 40));
  p.drawRoundedRect(QRectF(6 * s, 3 * s, 20 * s, 26 * s), 2 * s, 2 * s);
  p.setBrush(QColor(0, 128, 0));
  p.drawEllipse(QRectF(9 * s, 6 * s, 3 * s, 3 * s));
  QFont font;
  font.setBold(true);
  font.setPixelSize(static_cast<int>(8 * s));
  p.setFont(font);
  p.setPen(QColor(255, 255, 255));
  p.drawText(QRectF(6 * s, 10 * s, 20 * s, 16 * s), Qt::AlignCenter, QStringLiteral("ZR7"));
  return pixmap;
}

}  // namespace

QPixmap ApplicationIconPixmap(int size) { return Draw(size); }

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(Draw(size));
  return icon;
}

}  // namespace zr7
