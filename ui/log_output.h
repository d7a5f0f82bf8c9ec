// Qt's log reaches standard error, where a caller that redirects it finds it.
// On Windows a program without a console would otherwise send it to the
// debugger output only. One source file per platform implements
// SendLogToStandardError.
#pragma once

namespace rfid::ui {

void SendLogToStandardError();

// Call first thing in main: the log to standard error and, when
// RFID_LOG_FILE names a file, appended to it as well, each line with the
// local date and time to the millisecond and the process id (unset, nothing
// is written anywhere); then the program's name and version as its first line.
void StartLog(const char* program);

}  // namespace rfid::ui
