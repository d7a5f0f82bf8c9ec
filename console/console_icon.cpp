#include "console_icon.h"

#include <QPainter>

namespace rfid::console {

void PaintConsoleIcon(QPainter& p, int size) {
  p.setRenderHint(QPainter::Antialiasing);
  const qreal u = size / 16.0;
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 64));
  p.drawRoundedRect(QRectF(1 * u, 3 * u, 14 * u, 10 * u), 1.5 * u, 1.5 * u);
  p.setBrush(QColor(230, 190, 60));  // the chip
  p.drawRect(QRectF(3 * u, 6 * u, 3 * u, 3 * u));
  p.setPen(QPen(Qt::white, qMax(1.0, u * 0.8)));
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < 3; ++i)  // the antenna's waves
    p.drawArc(QRectF((7 + i * 2) * u, (5 - i) * u, 3 * u, (6 + 2 * i) * u), -60 * 16, 120 * 16);
}

}  // namespace rfid::console
