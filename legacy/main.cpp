// Opens the legacy reader window on the reader library beside the current
// directory, and ends when the window is closed.
#include <QApplication>

#include "application.h"
#include "close_on_signal.h"
#include "frm_rfid_old.h"
#include "library_reader.h"
#include "log_output.h"

int main(int argc, char** argv) {
  rfid::RestrictLibrarySearch();
  rfid::ui::SendLogToStandardError();
  const auto app = rfid::ui::StartApplication(argc, argv, 1);
  QApplication::setApplicationName(QStringLiteral("rfid-legacy"));
  // The legacy window binds the reader library in the current directory.
  rfid::LibraryReader reader(rfid::LibraryFileName("tqr_32", true));
  rfid::legacy::FrmRFID_OLD window(reader);
  rfid::ui::CloseOnTerminationSignals(&window);
  window.show();
  // Closed while loading (a termination signal during the card setting's message).
  if (!window.isVisible()) return 0;
  return app->exec();
}
