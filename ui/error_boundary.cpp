#include "error_boundary.h"

#include "logging.h"
#include "message.h"

namespace rfid::ui {

void ReportError(QWidget* window, const char* handler, const QString& problem) {
  qCWarning(lcUi).noquote() << handler << "failed:" << problem;
  ShowMessage(window, problem);
}

}  // namespace rfid::ui
