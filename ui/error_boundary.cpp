#include "error_boundary.h"

#include "errors.h"
#include "logging.h"
#include "message.h"

namespace rfid::ui {

ErrorTexts TextsOf(const std::exception& e) {
  const QString detail = QString::fromUtf8(e.what());
  if (const auto* op = dynamic_cast<const rfid::ForOperator*>(&e))
    return {QString::fromUtf8(op->OperatorText()), detail};
  if (dynamic_cast<const rfid::InvalidArgument*>(&e))
    return {QStringLiteral("등록번호 자리수가 맞지 않습니다."), detail};
  // Not foreseen: the operator sees the detail too.
  return {QStringLiteral("프로그램 오류가 발생했습니다.\n") + detail, detail};
}

void ReportError(QWidget* window, const char* handler, const QString& operatorText,
                 const QString& detail) {
  qCWarning(lcUi).noquote() << handler << "failed:" << detail;
  ShowMessage(window, operatorText);
}

}  // namespace rfid::ui
