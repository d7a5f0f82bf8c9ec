// The one place where an error that leaves an event handler is reported: a
// log line and a modal message naming the problem. Nothing passes it into
// Qt's event loop, and the window stays usable.
#pragma once

#include <QObject>
#include <QString>
#include <exception>
#include <utility>

class QWidget;

namespace rfid::ui {

void ReportError(QWidget* window, const char* handler, const QString& problem);

// Runs a handler's body; returns false when an error left it. beforeReport
// runs first, so that a handler can stop what would repeat while the message
// is up (a timer, say).
template <class F, class G>
bool Guarded(QWidget* window, const char* handler, F&& body, G&& beforeReport) {
  QString problem;
  try {
    std::forward<F>(body)();
    return true;
  } catch (const std::exception& e) {
    problem = QString::fromUtf8(e.what());
  } catch (...) {
    problem = QStringLiteral("unknown error");
  }
  std::forward<G>(beforeReport)();
  ReportError(window, handler, problem);
  return false;
}

template <class F>
bool Guarded(QWidget* window, const char* handler, F&& body) {
  return Guarded(window, handler, std::forward<F>(body), [] {});
}

// The one way a window wires a control's signal to a handler: the handler
// runs through the boundary above under its name, with window as the
// message's parent. beforeReport as for Guarded.
template <class Sender, class Signal, class F, class G>
QMetaObject::Connection ConnectHandler(Sender* sender, Signal signal, QWidget* window,
                                       const char* handler, F body, G beforeReport) {
  return QObject::connect(sender, signal, window, [=] { Guarded(window, handler, body, beforeReport); });
}

template <class Sender, class Signal, class F>
QMetaObject::Connection ConnectHandler(Sender* sender, Signal signal, QWidget* window,
                                       const char* handler, F body) {
  return ConnectHandler(sender, signal, window, handler, std::move(body), [] {});
}

}  // namespace rfid::ui
