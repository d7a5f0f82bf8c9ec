// An orderly shutdown when the system or another program ends us: on Linux
// SIGTERM, SIGINT and SIGHUP, on Windows WM_CLOSE sent to the window and the
// end of the session (log-off, shutdown). The window closes the way its
// close button would. One source file per platform implements the hook.
#pragma once

#include <QPointer>

class QWidget;

namespace rfid::ui {

// Call after the QApplication exists; a later call changes the window. Closes
// the application's active modal windows first (a message box or a dialog
// over the window), then the window itself, if any.
void CloseOnTerminationSignals(QWidget* window);

// What the hook does: the active modal windows innermost first, then window.
void CloseInOrder(QWidget* window);

// A reader of standard output that went away (a caller's "| true") makes a
// write fail instead of ending the process: a card written must never end
// in a death by SIGPIPE. Nothing to do on Windows.
void SurviveBrokenPipe();

}  // namespace rfid::ui
