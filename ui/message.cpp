#include "message.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "logging.h"

namespace rfid::ui {

namespace {
MessageHandler& Handler() {
  static MessageHandler handler;
  return handler;
}
}  // namespace

void ShowMessage(QWidget* parent, const QString& text, int closeAfterMs) {
  qCInfo(lcUi) << "message:" << text;
  if (Handler()) {
    Handler()(parent, text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                  parent);
  box.setTextFormat(Qt::PlainText);  // caller text (a word 0, say) is shown as it stands
  if (closeAfterMs > 0) QTimer::singleShot(closeAfterMs, &box, &QMessageBox::accept);
  box.exec();
}

MessageHandler SetMessageHandler(MessageHandler handler) {
  MessageHandler old = std::move(Handler());
  Handler() = std::move(handler);
  return old;
}

}  // namespace rfid::ui
