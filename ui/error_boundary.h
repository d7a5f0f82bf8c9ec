// The one place where an error that leaves an event handler is reported: a
// log line and a modal message naming the problem. Nothing passes it into
// Qt's event loop, and the window stays usable.
#pragma once

#include <QString>
#include <exception>
#include <utility>

class QWidget;

namespace rfid::ui {

void ReportError(QWidget* window, const char* handler, const QString& problem);

// Runs a handler's body; returns false when an error left it.
template <class F>
bool Guarded(QWidget* window, const char* handler, F&& body) {
  try {
    std::forward<F>(body)();
    return true;
  } catch (const std::exception& e) {
    ReportError(window, handler, QString::fromUtf8(e.what()));
  } catch (...) {
    ReportError(window, handler, QStringLiteral("unknown error"));
  }
  return false;
}

}  // namespace rfid::ui
