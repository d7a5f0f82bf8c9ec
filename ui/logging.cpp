#include "logging.h"

// Frames and replies are debug detail; what an operator or a calling
// program's log wants is info.
Q_LOGGING_CATEGORY(lcReader, "rfid.reader", QtInfoMsg)
Q_LOGGING_CATEGORY(lcConsole, "rfid.console", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRequest, "rfid.request", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLegacy, "rfid.legacy", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUi, "rfid.ui", QtInfoMsg)
