// A Qt application for the harnesses that drive the windows: offscreen,
// quiet, and every message answered at once instead of waiting for a click.
#pragma once

#include <QApplication>
#include <QLoggingCategory>

#include "message.h"

namespace rfid::fuzz {

inline void StartQt() {
  static int argc = 1;
  static char name[] = "fuzz";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
  static QApplication app(argc, argv);
  rfid::ui::SetMessageHandler([](QWidget*, const QString&) {});
}

}  // namespace rfid::fuzz
