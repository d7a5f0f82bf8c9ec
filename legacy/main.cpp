// Opens the legacy reader window on the reader library beside the current
// directory, and ends when the window is closed.
#include <QApplication>
#include <cstdio>

#include "application.h"
#include "close_on_signal.h"
#include "frm_rfid_old.h"
#include "library_reader.h"
#include "logging.h"

namespace {
const char kHelp[] = R"(Usage: rfid-legacy [--version | --help]

Opens the legacy reader window on the reader library in the current folder
(./libtqr_32.so, on Windows .\tqr_32.dll); ends when the window is closed,
with status 0. Any other word is refused with status 2.
Manual: man rfid-legacy; on Windows README-Windows.txt beside the program.
)";
}  // namespace

int main(int argc, char** argv) {
  if (const auto status = rfid::ui::AnswerInfoOption(argc, argv, "rfid-legacy", kHelp)) return *status;
  if (argc > 1) {  // it takes no words: a mistyped option must not open the window as if fine
    std::fprintf(stderr, "rfid-legacy: %s is not an option of this program\n%s", argv[1], kHelp);
    return 2;
  }
  rfid::RestrictLibrarySearch();
  rfid::ui::StartLog("rfid-legacy");
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
