// A scripted reader for tests: records every call, answers each frame from a
// script, or lets the simulated reader answer for a card held in memory, so
// that whole operations run and frames are checked as strictly as a reader
// would check them.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "exchange.h"
#include "frame.h"
#include "sim_reader.h"
#include "sim_state.h"

namespace rfid::testing {

// A card on the fake reader's field, answered by the simulated reader
// ("41" success, "4E" and a reason on failure).
struct FakeCard {
  bool present = true;
  bool is15693 = false;
  std::string uid = "A1B2C3D4";
  std::map<int, std::string> blocks;  // block -> 32 hex characters
  bool writesStick = true;            // false: writes answer success, store nothing
  bool failWrites = false;            // writes answer failure, store nothing
  int goodBeeps = 0;
  int errorBeeps = 0;
  std::vector<std::string> beeps;  // "good" / "error" in order

  std::string Block(int n) const {
    auto it = blocks.find(n);
    return it == blocks.end() ? std::string(32, '0') : it->second;
  }
  std::string Respond(const std::string& frame);
};

class FakeReader : public Reader {
 public:
  std::int16_t device = 1;
  int deviceFindCalls = 0;
  std::vector<std::string> sent;
  // Raw bytes written into the receive buffer, first the queued ones, then
  // what respond gives; with neither the card answers.
  std::deque<std::string> queued;
  std::function<std::string(const std::string&)> respond;
  FakeCard card;
  // Set to make a call throw, as an unbindable library would.
  std::function<void()> failWith;
  bool simulated = false;
  bool Simulated() const override { return simulated; }

  std::int16_t DeviceFind() override {
    if (failWith) failWith();
    ++deviceFindCalls;
    return device;
  }
  std::int16_t DataTransceiveEx(const char* send, char* receive) override {
    if (failWith) failWith();
    sent.emplace_back(send);
    std::string reply;
    if (!queued.empty()) {
      reply = queued.front();
      queued.pop_front();
    } else if (respond) {
      reply = respond(sent.back());
    } else {
      reply = device ? card.Respond(sent.back()) : std::string();
    }
    std::memcpy(receive, reply.data(), reply.size());
    return 0;
  }

  int CountSent(const std::string& prefix) const {
    int n = 0;
    for (const auto& s : sent) n += s.rfind(prefix, 0) == 0;
    return n;
  }
};

inline std::string FakeCard::Respond(const std::string& frame) {
  sim::State state = sim::DefaultState();
  state.card.kind = is15693 ? sim::CardKind::Iso15693 : sim::CardKind::Iso14443A;
  state.card.uid = uid;
  state.card.onField = present;
  for (const auto& [n, text] : blocks) state.card.SetBlock(n, text);
  if (!writesStick) state.faults.lostWrite = {true, 0};
  if (failWrites) state.faults.fail[0x57] = {true, 0};

  const sim::Response outcome = sim::Respond(state, frame, 0);
  blocks = state.card.blocks;
  for (int i = 0; i < state.goodBeeps; ++i) beeps.push_back("good");
  for (int i = 0; i < state.errorBeeps; ++i) beeps.push_back("error");
  goodBeeps += state.goodBeeps;
  errorBeeps += state.errorBeeps;
  return outcome.reply;
}

}  // namespace rfid::testing
