#include "sim_reader.h"

#include "exchange.h"
#include "frame.h"

namespace rfid::sim {

namespace {

constexpr std::size_t kOverlongLength = 60;

// Every byte inverted: plainly other data, whatever the block holds.
std::string Inverted(const std::string& hex) {
  std::string out = hex;
  for (char& c : out) c = kHexDigits[15 - HexPairValue(std::string_view(&c, 1))];
  return out;
}

// 40 bytes of noise without a NUL, high bytes included, never starting with
// the success status.
std::string Garbage(std::uint64_t seed) {
  std::string out;
  std::uint64_t x = seed * 6364136223846793005ULL + 1442695040888963407ULL;
  for (std::size_t i = 0; i < kReplyLength; ++i) {
    x = x * 6364136223846793005ULL + 1442695040888963407ULL;
    out += char(0x21 + (x >> 33) % 0xDE);
  }
  if (out[0] == '4') out[0] = '?';
  return out;
}

std::string Overlong(const std::string& reply) {
  std::string out = reply;
  while (out.size() < kOverlongLength - 2) out += "20";
  out.resize(kOverlongLength - 2);
  out += Bcc(out);
  return out;
}

struct Answer {
  std::string reply;
  std::string note;
};

Answer Fail(Failure why, std::string note) { return {FailureReply(why), std::move(note)}; }

Answer Execute(State& state, std::string_view frame) {
  const auto checked = CheckFrame(frame);
  if (const auto* refusal = std::get_if<FrameRefusal>(&checked))
    return Fail(refusal->failure, "refused: " + refusal->why);
  const int command = int(std::get<CheckedFrame>(checked).command);
  const int parameter = std::get<CheckedFrame>(checked).parameter;
  const std::string commandText = ByteText(command);

  auto it = state.faults.fail.find(command);
  if (it != state.faults.fail.end() && it->second.Fire()) {
    if (!it->second.on) state.faults.fail.erase(it);
    return Fail(Failure::Injected, "failed: injected failure of command " + commandText);
  }

  Card& card = state.card;
  switch (Command(command)) {
    case Command::Beep:
      if (parameter == 1) {
        CountUp(state.goodBeeps, kMaxBeeps);
        return {SuccessReply(""), "good beep"};
      }
      CountUp(state.errorBeeps, kMaxBeeps);
      return {SuccessReply(""), "error beep"};
    case Command::Detect: {
      const CardKind wanted = parameter == 1 ? CardKind::Iso14443A : CardKind::Iso15693;
      const std::string kind(KindName(wanted));
      if (!card.onField) return Fail(Failure::NoCard, "detect " + kind + ": no card");
      if (card.kind != wanted)
        return Fail(Failure::OtherKind,
                    "detect " + kind + ": the card is " + std::string(KindName(card.kind)));
      return {SuccessReply(card.uid), "detect " + kind + ": UID " + card.uid};
    }
    case Command::Read: {
      const std::string what = "read block " + std::to_string(parameter);
      if (!card.onField) return Fail(Failure::NoCard, what + ": no card");
      if (state.faults.wrongRead.Fire())
        return {SuccessReply(Inverted(card.Block(parameter))), what + ": other data (fault)"};
      return {SuccessReply(card.Block(parameter)), what};
    }
    case Command::Write: {
      const std::string what = "write block " + std::to_string(parameter);
      if (!card.onField) return Fail(Failure::NoCard, what + ": no card");
      if (state.faults.lostWrite.Fire()) return {SuccessReply(""), what + ": not stored (fault)"};
      card.SetBlock(parameter, *NormalizeHex(frame.substr(4, kBlockHexLength), kBlockHexLength));
      return {SuccessReply(""), what};
    }
  }
  return Fail(Failure::Command, "refused: unknown command " + commandText);
}

}  // namespace

Response Respond(State& state, std::string_view frame, std::int64_t nowMs) {
  CountUp(state.exchanges, kMaxExchanges);
  Response out;
  if (!state.attached) {
    out.written = false;
    out.note = "no reader: nothing answered";
  } else {
    Answer answer = Execute(state, frame);
    out.reply = std::move(answer.reply);
    out.note = std::move(answer.note);
    if (state.faults.garbage.Fire()) {
      out.reply = Garbage(std::uint64_t(state.exchanges));
      out.note += "; garbage reply (fault)";
    }
    if (state.faults.overlong.Fire()) {
      out.reply = Overlong(out.reply);
      out.note += "; overlong reply (fault)";
    }
  }
  LogEntry entry;
  entry.timeMs = nowMs;
  entry.frame = std::string(frame.substr(0, kLogFrameLimit));
  entry.reply = out.reply;
  entry.note = out.note;
  state.Record(std::move(entry));
  return out;
}

}  // namespace rfid::sim
