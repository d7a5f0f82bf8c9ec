#include "twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace rfid::ui {

int Twips(int twips) {
  qreal dpi = 96.0;
  if (auto* screen = QGuiApplication::primaryScreen()) dpi = screen->logicalDotsPerInch();
  if (dpi <= 0) dpi = 96.0;
  return int(std::lround(twips / 15.0 * dpi / 96.0));
}

void PlaceTwips(QWidget* widget, int left, int top, int width, int height) {
  widget->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
}

QFont Font(const QString& family, qreal points, bool bold) {
  QFont font(family);
  font.setPointSizeF(points);
  font.setWeight(bold ? QFont::Bold : QFont::Normal);
  return font;
}

}  // namespace rfid::ui
