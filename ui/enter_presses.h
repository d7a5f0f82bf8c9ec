// Enter on a focused button presses it, as on Windows, in every window of
// ours: a button that has the focus takes Enter and Return as a click. Enter
// in a text box presses nothing and closes no window.
#pragma once

class QWidget;

namespace rfid::ui {

// For every button inside window (call once its buttons exist).
void EnterPressesFocusedButtons(QWidget* window);

}  // namespace rfid::ui
