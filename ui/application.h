// The QApplication of a program, started so that a missing display ends it
// with one line on standard error and an exit status of its own instead of
// Qt's abort.
#pragma once

#include <QApplication>
#include <memory>
#include <optional>

namespace rfid::ui {

// Qt's messages while it starts are held back and passed on once it has
// started; when its platform cannot start (no display, no QT_QPA_PLATFORM)
// the process prints "<program>: ..." and ends with failureStatus.
std::unique_ptr<QApplication> StartApplication(int& argc, char** argv, int failureStatus);

// "--version" ("<program> <version>") or "--help" (help) as the one
// argument: printed on standard output, and the status 0 to end with; before
// Qt starts, so that neither needs a display. Otherwise nothing.
std::optional<int> AnswerInfoOption(int argc, char** argv, const char* program, const char* help);

}  // namespace rfid::ui
