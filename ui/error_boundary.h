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

// The log line carries detail, the message the operator's text.
void ReportError(QWidget* window, const char* handler, const QString& operatorText,
                 const QString& detail);

// What the operator is told of an error (Korean), and its detail for the log.
struct ErrorTexts {
  QString operatorText;
  QString detail;
};
ErrorTexts TextsOf(const std::exception& e);

// Runs a handler's body; returns false when an error left it. beforeReport
// runs first, so that a handler can stop what would repeat while the message
// is up (a timer, say).
template <class F, class G>
bool Guarded(QWidget* window, const char* handler, F&& body, G&& beforeReport) {
  ErrorTexts texts;
  try {
    std::forward<F>(body)();
    return true;
  } catch (const std::exception& e) {
    texts = TextsOf(e);
  } catch (...) {
    texts = {QStringLiteral("프로그램 오류가 발생했습니다."), QStringLiteral("unknown error")};
  }
  std::forward<G>(beforeReport)();
  ReportError(window, handler, texts.operatorText, texts.detail);
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
