// A scripted reader for tests: records every call, answers each frame from a
// script, and can play a simple card so that whole operations run.
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

namespace rfid::testing {

// A card on the fake reader's field: detect, read, write and beeps, as a
// reader would answer them ("41" success, "4E" failure).
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
  auto ok = [](const std::string& data) { return WithBcc("4100" + data); };
  const std::string fail = WithBcc("4E00");
  if (frame.size() != kFrameLength || Bcc(std::string_view(frame).substr(0, 36)) != frame.substr(36))
    return fail;
  const std::string cmd = frame.substr(0, 2);
  const int param = HexPairValue(std::string_view(frame).substr(2, 2));
  if (cmd == "43") {
    (param == 1 ? goodBeeps : errorBeeps)++;
    beeps.push_back(param == 1 ? "good" : "error");
    return ok("");
  }
  if (!present) return fail;
  if (cmd == "44") {
    if ((param == 2) != is15693) return fail;
    return ok(uid);
  }
  if (cmd == "52") return ok(Block(param));
  if (cmd == "57") {
    if (failWrites) return fail;
    if (writesStick) blocks[param] = frame.substr(4, 32);
    return ok("");
  }
  return fail;
}

}  // namespace rfid::testing
