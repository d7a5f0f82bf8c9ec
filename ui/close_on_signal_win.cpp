#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QWidget>

#include "close_on_signal.h"
#include "logging.h"

namespace rfid::ui {

namespace {
QPointer<QWidget> g_target;

// WM_CLOSE from another program reaches the window even while a modal window
// blocks it, where Qt would drop it; the end of the session gives no second
// chance. Both close in order, as a termination signal does on Linux.
class SystemCloseFilter final : public QAbstractNativeEventFilter {
 public:
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override {
    if (eventType != "windows_generic_MSG") return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_CLOSE && g_target && g_target->internalWinId() &&
        msg->hwnd == reinterpret_cast<HWND>(g_target->internalWinId())) {
      qCInfo(lcUi) << "close request from the system: closing";
      CloseInOrder(g_target);
      if (result) *result = 0;
      return true;
    }
    if (msg->message == WM_ENDSESSION && msg->wParam) {
      qCInfo(lcUi) << "session ends: closing";
      CloseInOrder(g_target);
    }
    return false;  // Qt still sees the end of the session
  }
};
}  // namespace

void CloseOnTerminationSignals(QWidget* window) {
  g_target = window;
  static SystemCloseFilter* filter = nullptr;
  if (filter) return;
  filter = new SystemCloseFilter;
  qApp->installNativeEventFilter(filter);
}

void SurviveBrokenPipe() {}

}  // namespace rfid::ui
