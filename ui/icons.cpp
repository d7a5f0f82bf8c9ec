#include "icons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

namespace rfid::ui {

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

QIcon ConsoleIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    PaintConsoleIcon(p, size);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

namespace {

// Painted at whatever size is asked, so that a screen at 150 % or 200 % gets
// a sharp picture rather than a small one stretched.
void PaintQuit(QPainter& p, const QRectF& r) {
  p.setRenderHint(QPainter::Antialiasing);
  const qreal u = r.width() / 16.0;
  p.translate(r.topLeft());
  p.setPen(QPen(QColor(90, 60, 30), qMax(1.0, u)));
  p.setBrush(QColor(200, 150, 90));
  p.drawRect(QRectF(2 * u, 1 * u, 7 * u, 14 * u));
  p.setPen(QPen(QColor(180, 0, 0), qMax(1.5, 1.6 * u)));
  p.drawLine(QPointF(7 * u, 8 * u), QPointF(15 * u, 8 * u));
  p.drawLine(QPointF(12 * u, 5 * u), QPointF(15 * u, 8 * u));
  p.drawLine(QPointF(12 * u, 11 * u), QPointF(15 * u, 8 * u));
}

class QuitIconEngine final : public QIconEngine {
 public:
  void paint(QPainter* p, const QRect& rect, QIcon::Mode, QIcon::State) override {
    const int side = qMin(rect.width(), rect.height());
    p->save();
    PaintQuit(*p, QRectF(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0,
                         side, side));
    p->restore();
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    paint(&p, QRect(QPoint(0, 0), size), mode, state);
    return pixmap;
  }
  QIconEngine* clone() const override { return new QuitIconEngine; }
};

}  // namespace

QIcon QuitIcon() { return QIcon(new QuitIconEngine); }

}  // namespace rfid::ui
