// Every modal message of the program goes through here, so that tests can
// answer it instead of a person.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace rfid::ui {

using MessageHandler = std::function<void(QWidget* parent, const QString& text)>;

// A modal message with an OK button only, no icon, the application's title;
// closed by itself after closeAfterMs when that is not 0 (nobody may be
// there to answer it).
void ShowMessage(QWidget* parent, const QString& text, int closeAfterMs = 0);

// Replaces how messages are shown; returns the handler it replaced. An empty
// handler restores the message box.
MessageHandler SetMessageHandler(MessageHandler handler);

}  // namespace rfid::ui
