#include "close_on_signal.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "logging.h"

namespace rfid::ui {

namespace {
int g_pipe[2] = {-1, -1};
QPointer<QWidget> g_target;

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] auto n = ::write(g_pipe[1], &byte, 1);
}
}  // namespace

void CloseOnTerminationSignals(QWidget* window) {
  g_target = window;
  if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) return;
  auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
    char byte;
    [[maybe_unused]] auto n = ::read(g_pipe[0], &byte, 1);
    qCInfo(lcUi) << "termination signal: closing";
    CloseInOrder(g_target);
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

void SurviveBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace rfid::ui
