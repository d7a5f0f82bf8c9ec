#include "application.h"

#include "close_on_signal.h"
#include "log_output.h"
#include "startup.h"
#include "logging.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace rfid::ui {

namespace {

struct Held {
  QtMsgType type;
  QByteArray category;
  QString text;
};

QtMessageHandler g_Previous = nullptr;
std::vector<Held>* g_Held = nullptr;
QByteArray g_Program;
int g_FailureStatus = 1;

void WhileStarting(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    g_Held->push_back({type, context.category ? QByteArray(context.category) : QByteArray(), text});
    return;
  }
  // The one fatal message Qt gives while it starts: its platform plugin
  // could not start, and abort() would follow. A platform the caller named
  // failed for a reason of its own, which only Qt's messages tell.
  // On standard error and in the log file, where a desk's log is looked for.
  const auto say = [](const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    AppendToLogFile(line);
  };
  const QString program = QString::fromLocal8Bit(g_Program);
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (!platform.isEmpty()) {
    say(QStringLiteral("%1: the platform QT_QPA_PLATFORM=%2 could not start:")
            .arg(program, QString::fromLocal8Bit(platform)));
    for (const Held& h : *g_Held)
      if (h.type != QtDebugMsg && h.type != QtInfoMsg) say(QStringLiteral("  ") + h.text);
    say(QStringLiteral("  ") + text.simplified());
  } else {
    say(program + QStringLiteral(": no display to show the window on; set DISPLAY to a running X "
                                 "server, or QT_QPA_PLATFORM=offscreen to run without one"));
  }
  std::fflush(stderr);
  std::_Exit(g_FailureStatus);
}

}  // namespace

bool WriteStandardOutput(const QByteArray& text) {
  if (!StandardOutputAttached()) return true;  // nobody asked for the line
  const std::size_t written = std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
  return std::fflush(stdout) == 0 && written == std::size_t(text.size()) && !std::ferror(stdout);
}

std::optional<int> AnswerInfoOption(int argc, char** argv, const char* program, const char* help) {
  SurviveBrokenPipe();
  AttachToCallersConsole();
  if (argc != 2) return std::nullopt;
  const std::string option = argv[1];
  QByteArray text;
  if (option == "--version") text = QByteArray(program) + " " RFID_VERSION "\n";
  else if (option == "--help") text = help;
  else return std::nullopt;
  return WriteStandardOutput(text) ? 0 : kExitNoOutput;
}

std::unique_ptr<QApplication> StartApplication(int& argc, char** argv, int failureStatus) {
  KeepPluginsInTheProgramFolder(argc, argv);
  std::vector<Held> held;
  g_Held = &held;
  g_Program = QFileInfo(QString::fromLocal8Bit(argc > 0 ? argv[0] : "")).completeBaseName().toLocal8Bit();
  g_FailureStatus = failureStatus;
  g_Previous = qInstallMessageHandler(WhileStarting);
  auto app = std::make_unique<QApplication>(argc, argv);
  qInstallMessageHandler(g_Previous);
  g_Held = nullptr;
  for (const Held& h : held) {
    const QMessageLogContext context(nullptr, 0, nullptr,
                                     h.category.isEmpty() ? nullptr : h.category.constData());
    g_Previous(h.type, context, h.text);
  }
  return app;
}

}  // namespace rfid::ui
