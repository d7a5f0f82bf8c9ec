// A frame text checked as a reader checks it, and the reply texts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <variant>

#include "frame.h"

namespace rfid::pcsc {

// Characters 3-4 of a failure reply ("4E" + reason + check byte). The first
// five are the frame's own errors (FrameError).
enum class Failure : std::uint8_t {
  Length = std::uint8_t(FrameError::Length),
  NotHex = std::uint8_t(FrameError::NotHex),
  Bcc = std::uint8_t(FrameError::Bcc),
  Command = std::uint8_t(FrameError::Command),
  Parameter = std::uint8_t(FrameError::Parameter),
  NoCard = 0x06,
  OtherKind = 0x07,     // detect of the kind the card is not
  NoReader = 0x0A,      // no reader service, or no reader
  CardError = 0x0B,     // a status word other than 90 00, or a wrong length
  Refused = 0x0C,       // a write that would spoil the card; nothing sent
  Lost = 0x0D,          // the card went away during the exchange
  Timeout = 0x0E,       // no answer within the exchange's time
  UnknownLayout = 0x0F, // a card whose memory we do not know
  Internal = 0x10,
  InUse = 0x11,         // another program holds the reader or keeps the card in a transaction
  Busy = 0x12,          // an earlier exchange is still inside the PC/SC service; nothing sent
};

using Request = CheckedFrame;

struct FrameFault {
  Failure failure;
  std::string why;
};

std::variant<Request, FrameFault> CheckFrame(std::string_view frame);

// Status, two characters, data and check byte in 40 characters.
inline constexpr std::size_t kMaxReplyData = 17;

// "41" "00" data, then the check byte over all of it. Throws
// std::length_error beyond kMaxReplyData bytes.
std::string SuccessReply(std::span<const std::uint8_t> data);
inline std::string FailureReply(Failure why) { return rfid::FailureReply(int(why)); }

}  // namespace rfid::pcsc
