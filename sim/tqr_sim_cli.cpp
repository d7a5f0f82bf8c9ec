// tqr-sim's commands. Arguments are checked completely before the state is
// touched, so bad input changes nothing.
#include "tqr_sim_cli.h"

#include <ctime>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "dynamic_library.h"
#include "frame.h"
#include "sim_state.h"

namespace {

using namespace rfid::sim;

constexpr int kOk = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;

constexpr const char* kUsageText = R"(usage: tqr-sim COMMAND [ARGUMENTS]

Shows and changes the simulated card reader that LIBRARY emulates.

  show                       reader, card, non-blank blocks, faults, beeps
  path                       the state file in use
  attach                     plug the reader in
  detach                     pull the reader out (no reply to any frame)
  card 14443A|15693 [UID]    put a card on the field; UID is 8 (14443A) or
                             16 (15693) hex digits. The card taken away
                             comes back with its memory when kind and UID
                             match it (no UID: that card, if of the kind);
                             any other card is a new, blank one.
  card none                  take the card away from the field
  block N                    show block N (0-255) of the card
  block N HEX                set block N to 16 bytes (32 hex digits)
  fault                      list the faults
  fault fail CMD [TIMES]     frames of command CMD (43, 44, 52 or 57) fail
  fault lost-write [TIMES]   writes answer success and store nothing
  fault wrong-read [TIMES]   reads answer success with other data
  fault garbage [TIMES]      replies are 40 characters of noise
  fault overlong [TIMES]     replies run to 60 characters, past the 40 allowed
  fault delay MS             wait MS milliseconds (0-60000) before each reply
  fault clear [KIND [CMD]]   clear all faults, one kind, or one failing command
  log [N]                    the last N exchanges (frame, reply, time)
  reset                      back to the default state
  help, --help               this text
  --version                  tqr-sim and its version

A fault with TIMES applies to the next TIMES exchanges it concerns, without
TIMES to all of them. Blank blocks hold 16 bytes 00.

The state file is $TQR_SIM_STATE if set, else
$XDG_STATE_HOME/rfid-console/tqr-sim.state, else
~/.local/state/rfid-console/tqr-sim.state.

Exit status: 0 done, 2 bad usage (nothing changed), 1 any other failure.
)";

// The usage, naming the simulated reader's library as this platform names it.
std::string UsageText() {
  std::string text = kUsageText;
  const std::string placeholder = "LIBRARY";
  text.replace(text.find(placeholder), placeholder.size(), rfid::LibraryFileName("tqr_32"));
  return text;
}

struct UsageError {
  std::string message;
};

[[noreturn]] void Bad(const std::string& message) { throw UsageError{message}; }

int ParseInt(const std::string& text, int min, int max, const std::string& what) {
  bool digits = !text.empty() && text.size() <= 9;
  for (char c : text) digits = digits && c >= '0' && c <= '9';
  const int value = digits ? std::stoi(text) : -1;
  if (!digits || value < min || value > max)
    Bad(what + " \"" + text + "\" is not a number from " + std::to_string(min) + " to " +
        std::to_string(max));
  return value;
}

int ParseBlock(const std::string& text) {
  const auto n = rfid::ParseBlockNumber(std::string_view(text));
  if (!n) Bad("block number \"" + text + "\" is not a number from 0 to 255");
  return *n;
}

int ParseCommand(const std::string& text) {
  const auto hex = NormalizeHex(text, 2);
  if (!hex || (*hex != "43" && *hex != "44" && *hex != "52" && *hex != "57"))
    Bad("command \"" + text + "\" is not one of 43, 44, 52, 57");
  return rfid::HexPairValue(std::string_view(*hex));
}

// Frames and replies as one word each: spaces escaped too.
std::string Printable(const std::string& text) { return Escaped(text, " "); }

std::string TimeText(std::int64_t ms) {
  const std::time_t seconds = std::time_t(ms / 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03d", int(ms % 1000));
  return std::string(buffer) + millis;
}

std::string CardText(const Card& card) {
  return "ISO " + std::string(KindName(card.kind)) + ", UID " + card.uid +
         (card.onField ? ", on the field" : ", taken away");
}

std::string SwitchText(const FaultSwitch& s) {
  return s.remaining == 0 ? "every time" : "next " + std::to_string(s.remaining);
}

std::vector<std::string> FaultLines(const Faults& f) {
  std::vector<std::string> lines;
  for (const auto& [command, sw] : f.fail)
    if (sw.on) lines.push_back("fail " + rfid::ByteText(command) + " (" + SwitchText(sw) + ")");
  for (const FaultName& named : kFaultNames) {
    const FaultSwitch& sw = f.*named.field;
    if (sw.on) lines.push_back(std::string(named.name) + " (" + SwitchText(sw) + ")");
  }
  if (f.delayMs > 0) lines.push_back("delay " + std::to_string(f.delayMs) + " ms");
  return lines;
}

void PrintFaults(std::ostream& out, const Faults& f, const char* indent) {
  const auto lines = FaultLines(f);
  if (lines.empty()) out << "none\n";
  for (std::size_t i = 0; i < lines.size(); ++i) out << (i ? indent : "") << lines[i] << '\n';
}

void Show(std::ostream& out, const StateStore& store, const State& s) {
  out << "state file: " << store.Path() << '\n';
  out << "reader:     " << (s.attached ? "attached" : "detached") << '\n';
  out << "card:       " << CardText(s.card) << '\n';
  out << "blocks:     ";
  if (s.card.blocks.empty()) out << "all blank (16 bytes 00)\n";
  bool first = true;
  for (const auto& [n, text] : s.card.blocks) {
    out << (first ? "" : "            ") << "block " << n << ": " << text << '\n';
    first = false;
  }
  out << "faults:     ";
  PrintFaults(out, s.faults, "            ");
  out << "beeps:      good " << s.goodBeeps << ", error " << s.errorBeeps << '\n';
  out << "exchanges:  " << s.exchanges << " since reset, last " << s.log.size()
      << " in the log\n";
}

void PrintLog(std::ostream& out, const State& s, std::size_t count) {
  if (s.log.empty()) {
    out << "no exchanges\n";
    return;
  }
  const std::size_t skip = s.log.size() > count ? s.log.size() - count : 0;
  for (std::size_t i = skip; i < s.log.size(); ++i) {
    const LogEntry& e = s.log[i];
    out << TimeText(e.timeMs) << "  " << (e.frame.empty() ? "(empty)" : Printable(e.frame))
        << "  " << (e.reply.empty() ? "(no reply)" : Printable(e.reply)) << "  " << e.note
        << '\n';
  }
}

void PutCard(State& s, CardKind kind, const std::optional<std::string>& uid) {
  Card& card = s.card;
  const bool same = card.kind == kind && (!uid || *uid == card.uid);
  if (!same) {
    card = Card{};
    card.kind = kind;
    card.uid = uid ? *uid : DefaultUid(kind);
  }
  card.onField = true;
}

// A parsed command: either reads the state (view) or changes it (change).
struct Action {
  std::function<void(State&)> change;
  std::function<void(std::ostream&, const StateStore&, const State&)> view;
  std::string done;  // printed after a change
  bool reset = false;
  bool help = false;
  bool version = false;
  bool path = false;
};

FaultSwitch Switch(const std::vector<std::string>& a, std::size_t at) {
  FaultSwitch s;
  s.on = true;
  s.remaining = a.size() > at ? ParseInt(a[at], 1, 1000000, "TIMES") : 0;
  return s;
}

Action ParseFault(const std::vector<std::string>& a) {
  Action act;
  if (a.size() == 1) {
    act.view = [](std::ostream& out, const StateStore&, const State& s) {
      PrintFaults(out, s.faults, "");
    };
    return act;
  }
  const std::string& kind = a[1];
  if (kind == "fail") {
    if (a.size() < 3 || a.size() > 4) Bad("fault fail takes CMD [TIMES]");
    const int command = ParseCommand(a[2]);
    const FaultSwitch sw = Switch(a, 3);
    act.change = [=](State& s) { s.faults.fail[command] = sw; };
    act.done = "frames of command " + rfid::ByteText(command) + " fail (" + SwitchText(sw) + ")";
  } else if (const FaultName* named = FindFault(kind)) {
    if (a.size() > 3) Bad("fault " + kind + " takes [TIMES]");
    const FaultSwitch sw = Switch(a, 2);
    act.change = [=](State& s) { s.faults.*named->field = sw; };
    act.done = "fault " + kind + " set (" + SwitchText(sw) + ")";
  } else if (kind == "delay") {
    if (a.size() != 3) Bad("fault delay takes MS");
    const int ms = ParseInt(a[2], 0, kMaxDelayMs, "delay");
    act.change = [=](State& s) { s.faults.delayMs = ms; };
    act.done = ms ? "each reply waits " + std::to_string(ms) + " ms" : "no delay";
  } else if (kind == "clear") {
    if (a.size() == 2) {
      act.change = [](State& s) { s.faults = Faults{}; };
      act.done = "all faults cleared";
    } else if (a[2] == "fail") {
      if (a.size() > 4) Bad("fault clear fail takes [CMD]");
      if (a.size() == 4) {
        const int command = ParseCommand(a[3]);
        act.change = [=](State& s) { s.faults.fail.erase(command); };
        act.done = "frames of command " + rfid::ByteText(command) + " no longer fail";
      } else {
        act.change = [](State& s) { s.faults.fail.clear(); };
        act.done = "no command fails";
      }
    } else if (const FaultName* named = FindFault(a[2]); named || a[2] == "delay") {
      if (a.size() != 3) Bad("fault clear " + a[2] + " takes nothing more");
      const std::string k = a[2];
      act.change = [=](State& s) {
        if (named)
          s.faults.*named->field = FaultSwitch{};
        else
          s.faults.delayMs = 0;
      };
      act.done = "fault " + k + " cleared";
    } else {
      Bad("unknown fault \"" + a[2] + "\"");
    }
  } else {
    Bad("unknown fault \"" + kind + "\"");
  }
  return act;
}

Action Parse(const std::vector<std::string>& a) {
  if (a.empty()) Bad("no command given");
  const std::string& cmd = a[0];
  Action act;
  auto none = [&] {
    if (a.size() != 1) Bad(cmd + " takes no arguments");
  };
  if (cmd == "help" || cmd == "--help" || cmd == "-h") {
    none();
    act.help = true;
  } else if (cmd == "--version") {
    none();
    act.version = true;
  } else if (cmd == "show") {
    none();
    act.view = Show;
  } else if (cmd == "path") {
    none();
    act.path = true;
  } else if (cmd == "attach" || cmd == "detach") {
    none();
    const bool attached = cmd == "attach";
    act.change = [=](State& s) { s.attached = attached; };
    act.done = attached ? "reader attached" : "reader detached";
  } else if (cmd == "card") {
    if (a.size() < 2 || a.size() > 3) Bad("card takes 14443A|15693 [UID] or none");
    if (a[1] == "none") {
      if (a.size() != 2) Bad("card none takes nothing more");
      act.change = [](State& s) { s.card.onField = false; };
      act.done = "card taken away";
    } else {
      const auto kind = ParseKind(a[1]);
      if (!kind) Bad("card kind \"" + a[1] + "\" is not 14443A, 15693 or none");
      std::optional<std::string> uid;
      if (a.size() == 3) {
        uid = NormalizeHex(a[2], UidLength(*kind));
        if (!uid)
          Bad("UID \"" + a[2] + "\" is not " + std::to_string(UidLength(*kind)) +
              " hex digits, as an ISO " + a[1] + " UID is");
      }
      act.change = [=](State& s) { PutCard(s, *kind, uid); };
      act.view = [](std::ostream& out, const StateStore&, const State& s) {
        out << "card: " << CardText(s.card) << '\n';
      };
    }
  } else if (cmd == "block") {
    if (a.size() < 2 || a.size() > 3) Bad("block takes N [HEX]");
    const int n = ParseBlock(a[1]);
    if (a.size() == 3) {
      const auto data = NormalizeHex(a[2], kBlockHexLength);
      if (!data) Bad("block data \"" + a[2] + "\" is not 32 hex digits (16 bytes)");
      act.change = [=](State& s) { s.card.SetBlock(n, *data); };
    }
    act.view = [=](std::ostream& out, const StateStore&, const State& s) {
      out << s.card.Block(n) << '\n';
    };
  } else if (cmd == "fault") {
    act = ParseFault(a);
  } else if (cmd == "log") {
    if (a.size() > 2) Bad("log takes [N]");
    const std::size_t count =
        a.size() == 2 ? std::size_t(ParseInt(a[1], 1, 1000000, "count")) : kLogLimit;
    act.view = [=](std::ostream& out, const StateStore&, const State& s) {
      PrintLog(out, s, count);
    };
  } else if (cmd == "reset") {
    none();
    act.reset = true;
  } else {
    Bad("unknown command \"" + cmd + "\"");
  }
  return act;
}

}  // namespace

namespace rfid::sim {

int RunTqrSim(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Action act;
  try {
    act = Parse(args);
  } catch (const UsageError& e) {
    err << "tqr-sim: " << e.message << "\n\n" << UsageText();
    return kUsage;
  }
  if (act.help || act.version) {
    out << (act.help ? UsageText() : "tqr-sim " RFID_VERSION "\n");
    return kOk;
  }
  try {
    const StateStore store(StatePath());
    if (act.path) {
      out << store.Path() << '\n';
      return kOk;
    }
    if (act.reset) {
      store.Replace(DefaultState());
      out << "default state: reader attached, blank ISO 14443A card "
          << DefaultUid(CardKind::Iso14443A) << " on the field\n";
      return kOk;
    }
    State state;
    if (act.change) {
      store.Update([&](State& s) {
        act.change(s);
        state = s;
      });
      if (!act.done.empty()) out << act.done << '\n';
    } else {
      state = store.Load();
    }
    if (act.view) act.view(out, store, state);
    return kOk;
  } catch (const std::exception& e) {
    err << "tqr-sim: " << e.what() << '\n';
    return kFailure;
  }
}

}  // namespace rfid::sim
