// SIGTERM, SIGINT and SIGHUP close a window the way its close button would,
// so that a program or a terminal that ends us gets an orderly shutdown.
#pragma once

class QWidget;

namespace rfid::ui {

// Call after the QApplication exists; a later call changes the window. Closes
// the application's active modal windows first (a message box or a dialog
// over the window), then the window itself, if any.
void CloseOnTerminationSignals(QWidget* window);

}  // namespace rfid::ui
