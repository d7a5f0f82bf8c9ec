// The simulated reader's state: the reader, the one card that lies on (or was
// taken from) its field, injected faults, beep counts and the last exchanges.
// It lives in a line-based text file shared by the library and the tool.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rfid::sim {

// A state file that cannot be read, parsed or written.
class StateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kBlockCount = 256;
inline constexpr std::size_t kBlockHexLength = 32;  // 16 bytes as hex digits
inline constexpr std::size_t kLogLimit = 50;
inline constexpr int kMaxDelayMs = 60000;
// Counters stop at these (the largest values the state file takes): a
// reader that runs for ever never makes its own state unreadable.
inline constexpr int kMaxBeeps = 2000000000;
inline constexpr std::int64_t kMaxExchanges = INT64_MAX;

// Adds one unless the counter is at its limit.
template <class Int>
void CountUp(Int& counter, Int limit) {
  if (counter < limit) ++counter;
}

enum class CardKind { Iso14443A, Iso15693 };

// "14443A" / "15693", as the tool and the state file write them.
std::string_view KindName(CardKind kind);
std::optional<CardKind> ParseKind(std::string_view text);
std::size_t UidLength(CardKind kind);  // in hex digits
std::string DefaultUid(CardKind kind);

// Upper-case copy when text is exactly length hexadecimal digits.
std::optional<std::string> NormalizeHex(std::string_view text, std::size_t length);

struct Card {
  CardKind kind = CardKind::Iso14443A;
  std::string uid;    // upper-case hex, UidLength(kind) digits
  bool onField = true;
  std::map<int, std::string> blocks;  // non-blank blocks only, 32 upper-case hex digits

  std::string Block(int n) const;  // blank blocks read as 16 bytes 0x00
  void SetBlock(int n, const std::string& text);
};

std::string BlankBlock();

// A fault is off, on for every exchange it applies to (remaining 0), or on
// for the next `remaining` of them.
struct FaultSwitch {
  bool on = false;
  int remaining = 0;

  // True when the fault applies now; counts it down.
  bool Fire();
  bool operator==(const FaultSwitch&) const = default;
};

struct Faults {
  std::map<int, FaultSwitch> fail;  // by command byte
  FaultSwitch lostWrite;            // write answers success, stores nothing
  FaultSwitch wrongRead;            // read answers success with other data
  FaultSwitch garbage;              // reply is 40 characters of noise
  FaultSwitch overlong;             // reply runs past the 40 characters
  int delayMs = 0;                  // before every reply

  bool Any() const;
  bool operator==(const Faults&) const = default;
};

// The faults that are one switch each, by the name the state file and
// tqr-sim give them, in the order both list them.
struct FaultName {
  std::string_view name;
  FaultSwitch Faults::*field;
};
inline constexpr FaultName kFaultNames[] = {
    {"lost-write", &Faults::lostWrite},
    {"wrong-read", &Faults::wrongRead},
    {"garbage", &Faults::garbage},
    {"overlong", &Faults::overlong},
};
// The switch fault of that name; nullptr for any other text.
const FaultName* FindFault(std::string_view name);

struct LogEntry {
  std::int64_t timeMs = 0;  // since the epoch
  std::string frame;        // as sent (cut to kLogFrameLimit bytes)
  std::string reply;        // as written; empty when nothing was written
  std::string note;         // what the reader made of it
  bool operator==(const LogEntry&) const = default;
};
inline constexpr std::size_t kLogFrameLimit = 96;

// text with control characters, bytes from 0x7F, the backslash and every
// character of alsoEscaped written as \xHH: the state file quotes log texts
// with it ('"' escaped), tqr-sim shows frames with it (' ' escaped).
std::string Escaped(std::string_view text, std::string_view alsoEscaped);

struct State {
  bool attached = true;
  Card card;
  Faults faults;
  int goodBeeps = 0;
  int errorBeeps = 0;
  std::int64_t exchanges = 0;  // since the last reset
  std::deque<LogEntry> log;    // oldest first, at most kLogLimit

  void Record(LogEntry entry);
};

// Attached reader, a blank ISO 14443A card with the default UID on the field.
State DefaultState();

std::string FormatState(const State& state);
// Throws StateError naming the line for anything it does not recognise,
// including a file cut short.
State ParseState(std::string_view text);

// $TQR_SIM_STATE, else (Linux) $XDG_STATE_HOME/rfid-console/tqr-sim.state, else
// ~/.local/state/rfid-console/tqr-sim.state, or (Windows)
// %LOCALAPPDATA%\rfid-console\tqr-sim.state. Paths are UTF-8. Throws StateError when none can
// be formed.
std::string StatePath();

// One state file. Every change is a read-modify-write under an exclusive
// lock on "<path>.lock" and lands by moving a complete temporary file over
// the state, so readers see the whole old or the whole new state.
class StateStore {
 public:
  explicit StateStore(std::string path) : m_Path(std::move(path)) {}
  const std::string& Path() const { return m_Path; }

  // The default state when the file does not exist yet.
  State Load() const;
  // Runs change on the current state and stores the result; when change
  // throws, nothing is stored.
  void Update(const std::function<void(State&)>& change) const;
  // Stores state without reading the old one (so it repairs a corrupt file).
  void Replace(const State& state) const;

 private:
  std::string m_Path;
};

}  // namespace rfid::sim
