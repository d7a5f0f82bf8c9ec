#include "log_output.h"

namespace rfid::ui {

void SendLogToStandardError() {}  // Qt's default on Linux

}  // namespace rfid::ui
