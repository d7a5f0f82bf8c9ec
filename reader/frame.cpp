#include "frame.h"

namespace rfid {

std::string ByteText(int value) {
  if (value < 0 || value > 255)
    throw std::out_of_range("byte value " + std::to_string(value) + " is outside 0-255");
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value >> 4], kDigits[value & 0xF]};
}

std::string SuccessReply(std::string_view data) {
  std::string reply = "4100";
  reply += data;
  reply += Bcc(reply);
  return reply;
}

std::string FailureReply(int reason) {
  std::string reply = "4E" + ByteText(reason);
  reply += Bcc(reply);
  return reply;
}

std::string WithBcc(std::string_view body) {
  std::string frame(body);
  frame += Bcc(body);
  return frame;
}

namespace {
std::string Body(Command command, int parameter, std::string_view data) {
  std::string body = ByteText(int(command));
  body += ByteText(parameter);
  body += data;
  return body;
}
}  // namespace

std::string ReadBody(int block) { return Body(Command::Read, block, kFill); }

std::string WriteBody(int block, std::string_view data16) {
  std::string data(data16);
  data += kHalfFill;
  return Body(Command::Write, block, data);
}

std::string GoodBeepBody() { return Body(Command::Beep, 0x01, kFill); }
std::string ErrorBeepBody() { return Body(Command::Beep, 0x02, kFill); }
std::string Detect14443Body() { return Body(Command::Detect, 0x01, kFill); }
std::string Detect15693Body() { return Body(Command::Detect, 0x02, kFill); }

}  // namespace rfid
