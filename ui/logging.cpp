#include "logging.h"

#include <QCoreApplication>
#include <QDateTime>
#include <cstdio>

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
LogFile* g_LogFile = nullptr;
QString g_LogPath;
bool g_LogFileFailed = false;

void AlsoToTheFile(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  AppendToLogFile(qFormatLogMessage(type, context, text));
  g_ToStandardError(type, context, text);
}
}  // namespace

void AppendToLogFile(const QString& text) {
  if (!g_LogFile) return;
#ifdef _WIN32
  const QLatin1String newline("\r\n");  // for Notepad
#else
  const QLatin1Char newline('\n');
#endif
  // One dated line an entry: a line break inside what is logged (a caller's
  // word, say) is written as \n.
  QString escaped = text;
  escaped.replace(QLatin1Char('\n'), QLatin1String("\\n"))
      .replace(QLatin1Char('\r'), QLatin1String("\\r"));
  const QString line = QDateTime::currentDateTime().toString(u"yyyy-MM-dd hh:mm:ss.zzz") +
                       QStringLiteral(" [%1] ").arg(QCoreApplication::applicationPid()) + escaped +
                       newline;
  QString why;
  if (g_LogFile->Append(line.toUtf8(), why) || g_LogFileFailed) return;
  g_LogFileFailed = true;  // said once; the program goes on
  std::fprintf(stderr, "rfid: the log file %s did not take a line (%s); later lines may be lost\n",
               g_LogPath.toLocal8Bit().constData(), why.toLocal8Bit().constData());
}

void StartLog(const char* program) {
  SendLogToStandardError();
  const QString path = qEnvironmentVariable("RFID_LOG_FILE");
  if (!path.isEmpty()) {
    QString why;
    if (auto file = LogFile::Open(path, why)) {
      g_LogFile = file.release();
      g_LogPath = path;
      g_ToStandardError = qInstallMessageHandler(AlsoToTheFile);
    } else {
      qCWarning(lcUi).noquote() << "the log file" << path << "is not used:" << why;
    }
  }
  qCInfo(lcUi).noquote() << program << RFID_VERSION;
}

}  // namespace rfid::ui
