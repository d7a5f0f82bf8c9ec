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

// The status of a run whose work was done but whose line standard output
// did not take (closed, full, its reader gone).
inline constexpr int kExitNoOutput = 4;

// Writes text on standard output and flushes it; false when it did not all
// go out. Without a standard output at all (StandardOutputAttached) there
// is nobody to deliver to: true.
bool WriteStandardOutput(const QByteArray& text);

// "--version" ("<program> <version>") or "--help" (help) as the one
// argument: printed on standard output, and the status to end with (0, or
// kExitNoOutput); before Qt starts, so that neither needs a display.
// Otherwise nothing.
std::optional<int> AnswerInfoOption(int argc, char** argv, const char* program, const char* help);

}  // namespace rfid::ui
