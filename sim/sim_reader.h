// What the simulated reader answers to one frame, given its state. Pure: the
// caller loads and stores the state and writes the reply into its buffer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "frame.h"
#include "sim_state.h"

namespace rfid::sim {

// Characters 3-4 of a failure reply ("4E" + reason + check byte).
enum class Failure : std::uint8_t {
  Length = std::uint8_t(FrameError::Length),       // not 38 characters
  NotHex = std::uint8_t(FrameError::NotHex),       // a character that is not a hexadecimal digit
  Bcc = std::uint8_t(FrameError::Bcc),          // check byte does not match
  Command = std::uint8_t(FrameError::Command),      // unknown command
  Parameter = std::uint8_t(FrameError::Parameter),    // parameter the command does not know
  NoCard = 0x06,       // no card on the field
  OtherKind = 0x07,    // detect of the kind the card is not
  Injected = 0x08,     // a fault set through the tool
  State = 0x09,        // the state file cannot be used
};

struct Outcome {
  // False with the reader detached: nothing is written into the buffer.
  bool written = true;
  // Normally at most 40 characters; longer only for the overlong fault.
  std::string reply;
  std::string note;
};

// "41" "00" data, then the check byte over all of it.
using rfid::SuccessReply;
inline std::string FailureReply(Failure why) { return rfid::FailureReply(int(why)); }

// Answers frame and records it in state: the exchange log, beep counts,
// stored blocks, faults counted down.
Outcome Respond(State& state, std::string_view frame, std::int64_t nowMs);

}  // namespace rfid::sim
