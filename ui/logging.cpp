#include "logging.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include "log_output.h"

#include <memory>

// Frames and replies are debug detail; what an operator or a calling
// program's log wants is info.
Q_LOGGING_CATEGORY(lcReader, "rfid.reader", QtInfoMsg)
Q_LOGGING_CATEGORY(lcConsole, "rfid.console", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRequest, "rfid.request", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLegacy, "rfid.legacy", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUi, "rfid.ui", QtInfoMsg)

namespace rfid::ui {

namespace {
QtMessageHandler g_ToStandardError = nullptr;
QFile* g_LogFile = nullptr;

void AlsoToTheFile(QtMsgType type, const QMessageLogContext& context, const QString& text) {
#ifdef _WIN32
  const QLatin1String newline("\r\n");  // for Notepad
#else
  const QLatin1Char newline('\n');
#endif
  const QString line = QDateTime::currentDateTime().toString(u"yyyy-MM-dd hh:mm:ss.zzz") +
                       QStringLiteral(" [%1] ").arg(QCoreApplication::applicationPid()) +
                       qFormatLogMessage(type, context, text) + newline;
  g_LogFile->write(line.toUtf8());
  g_LogFile->flush();
  g_ToStandardError(type, context, text);
}
}  // namespace

void StartLog(const char* program) {
  SendLogToStandardError();
  const QString path = qEnvironmentVariable("RFID_LOG_FILE");
  if (!path.isEmpty()) {
    auto file = std::make_unique<QFile>(path);
    if (file->open(QIODevice::WriteOnly | QIODevice::Append)) {
      g_LogFile = file.release();
      g_ToStandardError = qInstallMessageHandler(AlsoToTheFile);
    } else {
      qCWarning(lcUi).noquote() << "the log file" << path << "cannot be written:" << file->errorString();
    }
  }
  qCInfo(lcUi).noquote() << program << RFID_VERSION;
}

}  // namespace rfid::ui
