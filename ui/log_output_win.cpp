#include <windows.h>
#include <sddl.h>

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <string>

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

namespace {
// The log holds registration numbers: a file we create is its owner's only
// (a protected DACL with one entry, the user's), whatever the folder would
// pass on. An existing file keeps its own.
class OwnerOnly {
 public:
  OwnerOnly() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    QByteArray user(int(size), 0);
    wchar_t* sid = nullptr;
    if (size && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
      const std::wstring sddl = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
      ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &m_Descriptor,
                                                           nullptr);
      LocalFree(sid);
    }
    CloseHandle(token);
    m_Attributes.lpSecurityDescriptor = m_Descriptor;
  }
  ~OwnerOnly() { LocalFree(m_Descriptor); }
  // Null when the user's SID could not be had: the folder's ACL then applies.
  SECURITY_ATTRIBUTES* Attributes() { return m_Descriptor ? &m_Attributes : nullptr; }

 private:
  PSECURITY_DESCRIPTOR m_Descriptor = nullptr;
  SECURITY_ATTRIBUTES m_Attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};
}  // namespace

std::unique_ptr<LogFile> LogFile::Open(const QString& path, QString& why) {
  // Appending only; other processes of the desk append beside us.
  OwnerOnly ownerOnly;
  const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  ownerOnly.Attributes(), OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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
