#include <QApplication>
#include <QWidget>

#include "close_on_signal.h"

namespace rfid::ui {

void CloseInOrder(QWidget* window) {
  QPointer<QWidget> target = window;
  // Innermost modal first, so that nothing is left waiting on a closed window.
  while (QWidget* modal = QApplication::activeModalWidget()) {
    if (modal == target) break;
    modal->close();
    if (QApplication::activeModalWidget() == modal) break;
  }
  if (target) target->close();
}

}  // namespace rfid::ui
