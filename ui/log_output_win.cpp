#include <windows.h>

#include <QString>
#include <QtGlobal>
#include <cstdio>

#include "log_output.h"

namespace rfid::ui {

namespace {
// UTF-8, as on Linux: the ANSI code page would turn Korean text into "?".
void ToStandardError(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  const QByteArray line = qFormatLogMessage(type, context, text).toUtf8() + '\n';
  std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
  std::fflush(stderr);
  if (type == QtFatalMsg) std::abort();
}
}  // namespace

namespace {
QString LastErrorText() {
  wchar_t* text = nullptr;
  const DWORD error = GetLastError();
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  const QString why = text ? QString::fromWCharArray(text).trimmed() : QStringLiteral("error %1").arg(error);
  LocalFree(text);
  return why;
}

class WinLogFile final : public LogFile {
 public:
  explicit WinLogFile(HANDLE file) : m_File(file) {}
  ~WinLogFile() override { CloseHandle(m_File); }
  bool Append(const QByteArray& line, QString& why) override {
    DWORD written = 0;
    if (WriteFile(m_File, line.constData(), DWORD(line.size()), &written, nullptr) &&
        written == DWORD(line.size()))
      return true;
    why = LastErrorText();
    return false;
  }

 private:
  HANDLE m_File;
};
}  // namespace

std::unique_ptr<LogFile> LogFile::Open(const QString& path, QString& why) {
  // Appending only; other processes of the desk append beside us.
  const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    why = LastErrorText();
    return nullptr;
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {  // a pipe, a console, a device
    CloseHandle(file);
    why = QStringLiteral("not a regular file");
    return nullptr;
  }
  return std::make_unique<WinLogFile>(file);
}

bool StandardOutputAttached() {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  return out != nullptr && out != INVALID_HANDLE_VALUE;
}

void SendLogToStandardError() {
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  // Without a standard error (started from Explorer), a debugger still sees it.
  if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
  qInstallMessageHandler(ToStandardError);
}

}  // namespace rfid::ui
