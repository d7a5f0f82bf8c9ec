#include "enter_presses.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QWidget>

namespace rfid::ui {

namespace {
class EnterFilter final : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (!button || !button->isEnabled() || key->isAutoRepeat()) return true;
    button->click();
    return true;
  }
};
}  // namespace

void EnterPressesFocusedButtons(QWidget* window) {
  static EnterFilter filter;
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
    button->installEventFilter(&filter);
}

}  // namespace rfid::ui
