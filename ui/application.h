// The QApplication of a program, started so that a missing display ends it
// with one line on standard error and an exit status of its own instead of
// Qt's abort.
#pragma once

#include <QApplication>
#include <memory>

namespace rfid::ui {

// Qt's messages while it starts are held back and passed on once it has
// started; when its platform cannot start (no display, no QT_QPA_PLATFORM)
// the process prints "<program>: ..." and ends with failureStatus.
std::unique_ptr<QApplication> StartApplication(int& argc, char** argv, int failureStatus);

}  // namespace rfid::ui
