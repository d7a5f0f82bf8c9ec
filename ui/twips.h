// Layouts are given in twips: 15 to a pixel at 96 dpi, scaled for the screen.
#pragma once

#include <QFont>
#include <QString>

class QWidget;

namespace rfid::ui {

int Twips(int twips);
void PlaceTwips(QWidget* widget, int left, int top, int width, int height);
// A font by family name (the system falls back where it is missing).
QFont Font(const QString& family, qreal points, bool bold);

}  // namespace rfid::ui
