// Qt's log reaches standard error, where a caller that redirects it finds it.
// On Windows a program without a console would otherwise send it to the
// debugger output only. One source file per platform implements
// SendLogToStandardError.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace rfid::ui {

void SendLogToStandardError();

// Whether a caller could read the program's standard output at all: on
// Windows a GUI program started without one (at a prompt, by "start
// /wait") has nobody to deliver a line to. Always true on Linux, where a
// closed standard output is the caller's explicit choice.
bool StandardOutputAttached();

// The file RFID_LOG_FILE names, opened for appending without blocking: a
// regular file only, an existing one or a new one readable by its owner
// only (it holds registration numbers). Anything else (a FIFO nobody reads,
// a device, a folder) is refused.
class LogFile {
 public:
  // Null and why when the file is refused or cannot be opened.
  static std::unique_ptr<LogFile> Open(const QString& path, QString& why);
  virtual ~LogFile() = default;
  // The whole line in one write; false and why when the file did not take
  // it whole (a full disk), what was written of it taken back where possible.
  virtual bool Append(const QByteArray& line, QString& why) = 0;
};


}  // namespace rfid::ui
