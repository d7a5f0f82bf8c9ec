#include "request.h"

namespace rfid::pcsc {

namespace {
bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int PairAt(std::string_view frame, std::size_t index) {
  return HexPairValue(frame.substr(index, 2));
}
}  // namespace

std::variant<Request, FrameFault> CheckFrame(std::string_view frame) {
  if (frame.size() != kFrameLength)
    return FrameFault{Failure::Length,
                      std::to_string(frame.size()) + " characters, a frame has 38"};
  for (std::size_t i = 0; i < frame.size(); ++i)
    if (!IsHexDigit(frame[i]))
      return FrameFault{Failure::NotHex,
                        "character " + std::to_string(i + 1) + " is not a hex digit"};
  const std::string expected = Bcc(frame.substr(0, kFrameBodyLength));
  if (HexPairValue(std::string_view(expected)) != PairAt(frame, kFrameBodyLength))
    return FrameFault{Failure::Bcc, "check byte " + std::string(frame.substr(kFrameBodyLength)) +
                                        ", expected " + expected};
  Request request;
  const int command = PairAt(frame, 0);
  request.parameter = PairAt(frame, 2);
  switch (command) {
    case int(Command::Read):
    case int(Command::Write):
      break;
    case int(Command::Beep):
    case int(Command::Detect):
      if (request.parameter != 1 && request.parameter != 2)
        return FrameFault{Failure::Parameter, "command " + ByteText(command) +
                                                  " has no parameter " +
                                                  ByteText(request.parameter)};
      break;
    default:
      return FrameFault{Failure::Command, "unknown command " + ByteText(command)};
  }
  request.command = Command(command);
  for (std::size_t i = 0; i < request.data.size(); ++i)
    request.data[i] = std::uint8_t(PairAt(frame, 4 + 2 * i));
  return request;
}

std::string SuccessReply(std::span<const std::uint8_t> data) {
  if (data.size() > kMaxReplyData)
    throw std::length_error(std::to_string(data.size()) + " data bytes do not fit a reply");
  std::string hex;
  for (std::uint8_t b : data) hex += ByteText(b);
  return rfid::SuccessReply(hex);
}

}  // namespace rfid::pcsc
