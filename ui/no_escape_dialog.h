// A dialog that closes only by its buttons, its close command or its own
// code: Escape, which closes a plain dialog, does nothing here.
#pragma once

#include <QDialog>
#include <QKeyEvent>

namespace rfid::ui {

class NoEscapeDialog : public QDialog {
 public:
  using QDialog::QDialog;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) {
      event->ignore();
      return;
    }
    QDialog::keyPressEvent(event);
  }
};

}  // namespace rfid::ui
