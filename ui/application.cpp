#include "application.h"

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
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (!platform.isEmpty()) {
    std::fprintf(stderr, "%s: the platform QT_QPA_PLATFORM=%s could not start:\n",
                 g_Program.constData(), platform.constData());
    for (const Held& h : *g_Held)
      if (h.type != QtDebugMsg && h.type != QtInfoMsg)
        std::fprintf(stderr, "  %s\n", h.text.toLocal8Bit().constData());
    std::fprintf(stderr, "  %s\n", text.simplified().toLocal8Bit().constData());
  } else {
    std::fprintf(stderr,
               "%s: no display to show the window on; set DISPLAY to a running X server, or "
               "QT_QPA_PLATFORM=offscreen to run without one\n",
               g_Program.constData());
  }
  std::fflush(stderr);
  std::_Exit(g_FailureStatus);
}

}  // namespace

std::optional<int> AnswerInfoOption(int argc, char** argv, const char* program, const char* help) {
  if (argc != 2) return std::nullopt;
  const std::string option = argv[1];
  if (option == "--version") std::printf("%s %s\n", program, RFID_VERSION);
  else if (option == "--help") std::fputs(help, stdout);
  else return std::nullopt;
  std::fflush(stdout);
  return 0;
}

std::unique_ptr<QApplication> StartApplication(int& argc, char** argv, int failureStatus) {
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
