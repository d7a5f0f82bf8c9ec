// Qt's log reaches standard error, where a caller that redirects it finds it.
// On Windows a program without a console would otherwise send it to the
// debugger output only. One source file per platform implements it.
#pragma once

namespace rfid::ui {

// Call first thing in main.
void SendLogToStandardError();

}  // namespace rfid::ui
