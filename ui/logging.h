#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcReader)
Q_DECLARE_LOGGING_CATEGORY(lcConsole)
Q_DECLARE_LOGGING_CATEGORY(lcRequest)
Q_DECLARE_LOGGING_CATEGORY(lcLegacy)
Q_DECLARE_LOGGING_CATEGORY(lcUi)

class QString;

namespace rfid::ui {

// Call first thing in main: the log to standard error and, when
// RFID_LOG_FILE names a file, appended to it as well, each line with the
// local date and time to the millisecond and the process id (unset, nothing
// is written anywhere); then the program's name and version as its first line.
void StartLog(const char* program);

// A line for the log file alone (what the program says on standard error
// by itself, before Qt's log runs): dated as the log's lines; nothing
// without a log file.
void AppendToLogFile(const QString& text);

}  // namespace rfid::ui
