// What the simulated reader answers to one frame, given its state. Pure: the
// caller loads and stores the state and writes the reply into its buffer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "frame.h"
#include "sim_state.h"

namespace rfid::sim {

// What the reader does with one frame.
struct Response {
  // False with the reader detached: nothing is written into the buffer.
  bool written = true;
  // Normally at most 40 characters; longer only for the overlong fault.
  std::string reply;
  std::string note;
};

// The replies and their failure reasons, as the reader's: "41" "00" data and
// the check byte over all of it, or "4E", the reason and the check byte.
using rfid::Failure;
using rfid::FailureReply;
using rfid::SuccessReply;

// Answers frame and records it in state: the exchange log, beep counts,
// stored blocks, faults counted down.
Response Respond(State& state, std::string_view frame, std::int64_t nowMs);

}  // namespace rfid::sim
