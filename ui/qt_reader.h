// Exchanges with a reader from Qt code: frame text in, 40-character reply
// text out, each logged under rfid.reader.
#pragma once

#include <QString>
#include <stdexcept>

#include "errors.h"
#include "exchange.h"

namespace rfid::ui {

// A frame or a text that has no single-byte form in the local encoding.
class NotSingleByte : public std::invalid_argument, public rfid::ForOperator {
 public:
  NotSingleByte(const std::string& detail, const std::string& operatorText)
      : std::invalid_argument(detail), rfid::ForOperator(operatorText) {}
};

// Throws NotSingleByte before anything is sent.
QString Transceive(Reader& reader, const QString& frame);
std::int16_t DeviceFind(Reader& reader);

// Throws NotSingleByte when text cannot go into a single-byte frame.
void RequireSingleByte(const QString& text, const QString& what);

// The QString's own UTF-16 characters as a view (valid while text lives).
std::u16string_view Utf16View(const QString& text);
// The reply's status and data fields (reader/frame.h) on Qt text.
bool ReplyOk(const QString& reply);
QString ReplyField(const QString& reply, std::size_t start, std::size_t count);
// "(reply 4E0B45: <the operator's text>)" for a failure reply, for a log
// line; "(reply ...)" alone when the reason has no text.
QString WhyFailed(const QString& reply);
QString FromU16(const std::u16string& text);
// Frame texts from reader/, which are plain ASCII.
QString FromAscii(std::string_view text);

}  // namespace rfid::ui
