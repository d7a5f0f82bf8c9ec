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

void SendLogToStandardError() {
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  // Without a standard error (started from Explorer), a debugger still sees it.
  if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
  qInstallMessageHandler(ToStandardError);
}

}  // namespace rfid::ui
