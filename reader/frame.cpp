#include "frame.h"

namespace rfid {

std::string ByteText(int value) {
  if (value < 0 || value > 255)
    throw std::out_of_range("byte value " + std::to_string(value) + " is outside 0-255");
  return {kHexDigits[value >> 4], kHexDigits[value & 0xF]};
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

bool ReaderAnswered(std::string_view reply) {
  if (ReplyOk(reply)) return true;
  if (reply.size() < 4 || reply.substr(0, 2) != "4E") return false;
  switch (HexPairValue(reply.substr(2, 2))) {
    case int(Failure::NoCard):
    case int(Failure::OtherKind):
    case int(Failure::CardError):
    case int(Failure::Refused):
    case int(Failure::Lost):
    case int(Failure::UnknownLayout):
    case int(Failure::KeyLoad):
    case int(Failure::NoBeep): return true;
    default: return false;
  }
}

std::string_view OperatorText(std::string_view reply) {
  if (reply.size() < 4 || reply.substr(0, 2) != "4E") return {};
  switch (HexPairValue(reply.substr(2, 2))) {
    case int(Failure::NoCard): return "카드가 없습니다";
    case int(Failure::NoReader): return "리더기를 찾지 못했습니다";
    case int(Failure::CardError): return "카드가 명령을 거부했습니다 (카드의 키가 다르거나 블록이 잠김)";
    case int(Failure::Lost): return "카드가 도중에 떨어졌습니다";
    case int(Failure::Timeout): return "리더기가 3초 안에 답하지 않았습니다";
    case int(Failure::UnknownLayout): return "이 카드의 블록 구조를 모릅니다";
    case int(Failure::InUse): return "다른 프로그램이 리더기를 쓰고 있습니다";
    case int(Failure::KeyLoad): return "리더기가 카드 키를 받지 않습니다 (카드가 아니라 리더기 문제)";
    case int(Failure::NoBeep): return "이 리더기는 부저를 울릴 수 없습니다";
    default: return {};
  }
}

namespace {
int PairAt(std::string_view frame, std::size_t index) {
  return HexPairValue(frame.substr(index, 2));
}
}  // namespace

std::variant<CheckedFrame, FrameRefusal> CheckFrame(std::string_view frame) {
  if (frame.size() != kFrameLength)
    return FrameRefusal{Failure::Length,
                        std::to_string(frame.size()) + " characters, a frame has 38"};
  for (std::size_t i = 0; i < frame.size(); ++i)
    if (!IsHexDigit(frame[i]))
      return FrameRefusal{Failure::NotHex,
                          "character " + std::to_string(i + 1) + " is not a hex digit"};
  const std::string expected = Bcc(frame.substr(0, kFrameBodyLength));
  const int bcc = PairAt(frame, kFrameBodyLength);
  if (HexPairValue(std::string_view(expected)) != bcc)
    return FrameRefusal{Failure::Bcc,
                        "check byte " + ByteText(bcc) + ", expected " + expected};
  CheckedFrame checked;
  const int command = PairAt(frame, 0);
  checked.parameter = PairAt(frame, 2);
  switch (command) {
    case int(Command::Read):
    case int(Command::Write):
      break;
    case int(Command::Beep):
    case int(Command::Detect):
      if (checked.parameter != 1 && checked.parameter != 2)
        return FrameRefusal{Failure::Parameter, "command " + ByteText(command) +
                                                    " has no parameter " +
                                                    ByteText(checked.parameter)};
      break;
    default:
      return FrameRefusal{Failure::Command, "unknown command " + ByteText(command)};
  }
  checked.command = Command(command);
  for (std::size_t i = 0; i < checked.data.size(); ++i)
    checked.data[i] = std::uint8_t(PairAt(frame, 4 + 2 * i));
  return checked;
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

std::string GoodBeepBody() { return Body(Command::Beep, 0x01, kFill); }
std::string ErrorBeepBody() { return Body(Command::Beep, 0x02, kFill); }
std::string Detect14443Body() { return Body(Command::Detect, 0x01, kFill); }
std::string Detect15693Body() { return Body(Command::Detect, 0x02, kFill); }

}  // namespace rfid
