#include "sim_state.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "frame.h"
#include "state_file.h"

namespace rfid::sim {

namespace {

constexpr std::string_view kHeader = "tqr-sim-state 1";

std::string Quote(std::string_view text) { return '"' + Escaped(text, "\"") + '"'; }

class LineParser {
 public:
  LineParser(std::string_view line, int number) : m_Line(line), m_Number(number) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw StateError("line " + std::to_string(m_Number) + ": " + what);
  }

  bool AtEnd() {
    SkipSpaces();
    return m_Pos >= m_Line.size();
  }

  std::string Word() {
    SkipSpaces();
    if (m_Pos >= m_Line.size()) Fail("a value is missing");
    if (m_Line[m_Pos] == '"') return Quoted();
    const std::size_t start = m_Pos;
    while (m_Pos < m_Line.size() && m_Line[m_Pos] != ' ') ++m_Pos;
    return std::string(m_Line.substr(start, m_Pos - start));
  }

  template <class Int>
  Int Number(Int min, Int max) {
    const std::string word = Word();
    Int value{};
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size() || value < min || value > max)
      Fail("\"" + word + "\" is not a number from " + std::to_string(min) + " to " +
           std::to_string(max));
    return value;
  }

  void End() {
    if (!AtEnd()) Fail("unexpected text after the values");
  }

 private:
  void SkipSpaces() {
    while (m_Pos < m_Line.size() && m_Line[m_Pos] == ' ') ++m_Pos;
  }

  std::string Quoted() {
    std::string out;
    ++m_Pos;
    while (true) {
      if (m_Pos >= m_Line.size()) Fail("unterminated quoted text");
      const char c = m_Line[m_Pos++];
      if (c == '"') break;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (m_Pos + 3 > m_Line.size() || m_Line[m_Pos] != 'x' || !IsHexDigit(m_Line[m_Pos + 1]) ||
          !IsHexDigit(m_Line[m_Pos + 2]))
        Fail("bad escape in quoted text");
      out += char(HexPairValue(m_Line.substr(m_Pos + 1, 2)));
      m_Pos += 3;
    }
    if (m_Pos < m_Line.size() && m_Line[m_Pos] != ' ') Fail("text right after a quoted value");
    return out;
  }

  std::string_view m_Line;
  int m_Number;
  std::size_t m_Pos = 0;
};

FaultSwitch ParseSwitch(LineParser& p) {
  FaultSwitch s;
  s.on = true;
  s.remaining = p.Number<int>(0, 1000000);
  return s;
}

void WriteSwitch(std::string& out, std::string_view name, const FaultSwitch& s) {
  if (!s.on) return;
  out += "fault ";
  out += name;
  out += ' ';
  out += std::to_string(s.remaining);
  out += '\n';
}

State LoadFrom(const std::string& path) {
  const std::optional<std::string> text = ReadStateFile(path);
  if (!text) return DefaultState();
  try {
    return ParseState(*text);
  } catch (const StateError& e) {
    throw StateError("state file " + path + " is damaged: " + e.what());
  }
}

}  // namespace

std::string_view KindName(CardKind kind) {
  return kind == CardKind::Iso14443A ? "14443A" : "15693";
}

std::optional<CardKind> ParseKind(std::string_view text) {
  if (text == "14443A") return CardKind::Iso14443A;
  if (text == "15693") return CardKind::Iso15693;
  return std::nullopt;
}

std::size_t UidLength(CardKind kind) { return kind == CardKind::Iso14443A ? 8 : 16; }

std::string DefaultUid(CardKind kind) {
  return kind == CardKind::Iso14443A ? "1A2B3C4D" : "1A2B3C4D5E6F7081";
}

std::optional<std::string> NormalizeHex(std::string_view text, std::size_t length) {
  if (text.size() != length) return std::nullopt;
  std::string out(text);
  for (char& c : out) {
    if (!IsHexDigit(c)) return std::nullopt;
    if (c >= 'a' && c <= 'f') c = char(c - 'a' + 'A');
  }
  return out;
}

std::string BlankBlock() { return std::string(kBlockHexLength, '0'); }

std::string Card::Block(int n) const {
  const auto it = blocks.find(n);
  return it == blocks.end() ? BlankBlock() : it->second;
}

void Card::SetBlock(int n, const std::string& text) {
  if (text == BlankBlock())
    blocks.erase(n);
  else
    blocks[n] = text;
}

bool FaultSwitch::Fire() {
  if (!on) return false;
  if (remaining > 0 && --remaining == 0) on = false;
  return true;
}

bool Faults::Any() const {
  for (const FaultName& f : kFaultNames)
    if ((this->*f.field).on) return true;
  return !fail.empty() || delayMs > 0;
}

const FaultName* FindFault(std::string_view name) {
  for (const FaultName& f : kFaultNames)
    if (f.name == name) return &f;
  return nullptr;
}

std::string Escaped(std::string_view text, std::string_view alsoEscaped) {
  std::string out;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c >= 0x7F || c == '\\' || alsoEscaped.find(ch) != std::string_view::npos) {
      out += "\\x";
      out += kHexDigits[c >> 4];
      out += kHexDigits[c & 0xF];
    } else {
      out += ch;
    }
  }
  return out;
}

void State::Record(LogEntry entry) {
  log.push_back(std::move(entry));
  while (log.size() > kLogLimit) log.pop_front();
}

State DefaultState() {
  State state;
  state.card.kind = CardKind::Iso14443A;
  state.card.uid = DefaultUid(CardKind::Iso14443A);
  state.card.onField = true;
  return state;
}

std::string FormatState(const State& s) {
  std::string out(kHeader);
  out += '\n';
  out += s.attached ? "reader attached\n" : "reader detached\n";
  out += "card ";
  out += KindName(s.card.kind);
  out += ' ' + s.card.uid + (s.card.onField ? " on-field\n" : " away\n");
  out += "beeps " + std::to_string(s.goodBeeps) + ' ' + std::to_string(s.errorBeeps) + '\n';
  out += "exchanges " + std::to_string(s.exchanges) + '\n';
  for (const auto& [command, sw] : s.faults.fail) {
    if (!sw.on) continue;
    out += "fault fail " + ByteText(command) + ' ' + std::to_string(sw.remaining) + '\n';
  }
  for (const FaultName& f : kFaultNames) WriteSwitch(out, f.name, s.faults.*f.field);
  if (s.faults.delayMs > 0) out += "fault delay " + std::to_string(s.faults.delayMs) + '\n';
  for (const auto& [n, text] : s.card.blocks) out += "block " + std::to_string(n) + ' ' + text + '\n';
  for (const LogEntry& e : s.log) {
    out += "log " + std::to_string(e.timeMs) + ' ' + Quote(e.frame) + ' ' + Quote(e.reply) + ' ' +
           Quote(e.note) + '\n';
  }
  out += "end\n";
  return out;
}

State ParseState(std::string_view text) {
  State s = DefaultState();
  std::set<std::string> seen;
  bool ended = false;
  int number = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos)
      throw StateError("line " + std::to_string(number + 1) + ": cut short (no end of line)");
    const std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++number;
    LineParser p(line, number);
    if (ended) p.Fail("text after the end line");
    if (number == 1) {
      if (line != kHeader) p.Fail("not a simulated reader state (expected \"" + std::string(kHeader) + "\")");
      continue;
    }
    if (line.find('\0') != std::string_view::npos) p.Fail("NUL character");
    const std::string key = p.Word();
    auto once = [&](const std::string& name) {
      if (!seen.insert(name).second) p.Fail("\"" + name + "\" given twice");
    };
    if (key == "end") {
      p.End();
      ended = true;
    } else if (key == "reader") {
      once(key);
      const std::string v = p.Word();
      if (v != "attached" && v != "detached") p.Fail("reader is \"attached\" or \"detached\"");
      s.attached = v == "attached";
      p.End();
    } else if (key == "card") {
      once(key);
      const std::string kind = p.Word();
      const auto k = ParseKind(kind);
      if (!k) p.Fail("unknown card kind \"" + kind + "\"");
      const std::string uid = p.Word();
      const auto u = NormalizeHex(uid, UidLength(*k));
      if (!u) p.Fail("\"" + uid + "\" is not a UID of " + std::to_string(UidLength(*k)) + " hex digits");
      const std::string where = p.Word();
      if (where != "on-field" && where != "away") p.Fail("card is \"on-field\" or \"away\"");
      p.End();
      s.card.kind = *k;
      s.card.uid = *u;
      s.card.onField = where == "on-field";
    } else if (key == "beeps") {
      once(key);
      s.goodBeeps = p.Number<int>(0, kMaxBeeps);
      s.errorBeeps = p.Number<int>(0, kMaxBeeps);
      p.End();
    } else if (key == "exchanges") {
      once(key);
      s.exchanges = p.Number<std::int64_t>(0, kMaxExchanges);
      p.End();
    } else if (key == "fault") {
      const std::string kind = p.Word();
      if (kind == "fail") {
        const std::string word = p.Word();
        const auto hex = NormalizeHex(word, 2);
        if (!hex) p.Fail("command \"" + word + "\" is not a byte in hex");
        const int command = HexPairValue(std::string_view(*hex));
        once("fault fail " + *hex);
        s.faults.fail[command] = ParseSwitch(p);
      } else if (const FaultName* named = FindFault(kind)) {
        once("fault " + kind);
        s.faults.*named->field = ParseSwitch(p);
      } else if (kind == "delay") {
        once("fault delay");
        s.faults.delayMs = p.Number<int>(1, kMaxDelayMs);
      } else {
        p.Fail("unknown fault \"" + kind + "\"");
      }
      p.End();
    } else if (key == "block") {
      const int n = p.Number<int>(0, kBlockCount - 1);
      once("block " + std::to_string(n));
      const std::string data = p.Word();
      const auto d = NormalizeHex(data, kBlockHexLength);
      if (!d) p.Fail("block data is " + std::to_string(kBlockHexLength) + " hex digits");
      p.End();
      s.card.SetBlock(n, *d);
    } else if (key == "log") {
      LogEntry e;
      e.timeMs = p.Number<std::int64_t>(0, INT64_MAX);
      e.frame = p.Word();
      e.reply = p.Word();
      e.note = p.Word();
      p.End();
      s.Record(std::move(e));
    } else {
      p.Fail("unknown entry \"" + key + "\"");
    }
  }
  if (number == 0) throw StateError("empty file");
  if (!ended) throw StateError("cut short (no end line)");
  if (!seen.count("reader") || !seen.count("card"))
    throw StateError("the reader or card line is missing");
  return s;
}

State StateStore::Load() const { return LoadFrom(m_Path); }

void StateStore::Update(const std::function<void(State&)>& change) const {
  StateLock lock(m_Path);
  State state = LoadFrom(m_Path);
  change(state);
  WriteAtomically(m_Path, FormatState(state));
}

void StateStore::Replace(const State& state) const {
  StateLock lock(m_Path);
  WriteAtomically(m_Path, FormatState(state));
}

}  // namespace rfid::sim
