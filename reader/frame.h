// Command frames: hexadecimal texts of command, parameter, 16 data bytes and
// a check byte (BCC), and the reply text the reader answers with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace rfid {

// 16 bytes 0x20: the data of every command that carries none.
inline constexpr std::string_view kFill = "20202020202020202020202020202020";
// The last 8 bytes of a write frame.
inline constexpr std::string_view kHalfFill = "2020202020202020";

inline constexpr std::size_t kFrameBodyLength = 36;
inline constexpr std::size_t kFrameLength = 38;
// The check byte's position counter is 8-bit: longer texts are out of range.
inline constexpr std::size_t kMaxBccText = 254;

enum class Command : std::uint8_t {
  Read = 0x52,
  Write = 0x57,
  Beep = 0x43,
  Detect = 0x44,
};

// The upper-case hexadecimal digits, by value.
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// Two upper-case hexadecimal digits; throws std::out_of_range outside 0-255.
std::string ByteText(int value);

constexpr bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Value of a one- or two-character pair read as hexadecimal: digits of either
// case; reading stops at the first character that is not a hex digit.
template <class CharT>
int HexPairValue(std::basic_string_view<CharT> pair) {
  int value = 0;
  for (CharT c : pair) {
    int digit;
    if (c >= CharT('0') && c <= CharT('9')) digit = int(c - CharT('0'));
    else if (c >= CharT('a') && c <= CharT('f')) digit = int(c - CharT('a')) + 10;
    else if (c >= CharT('A') && c <= CharT('F')) digit = int(c - CharT('A')) + 10;
    else break;
    value = value * 16 + digit;
  }
  return value;
}

// The check byte over a frame text, as two digits. Pairs are taken from the
// start; an odd last character counts as one digit. Throws std::length_error
// for texts longer than kMaxBccText.
template <class CharT>
std::string Bcc(std::basic_string_view<CharT> text) {
  if (text.size() > kMaxBccText)
    throw std::length_error("frame text of " + std::to_string(text.size()) +
                            " characters is longer than the check byte's limit of 254");
  unsigned acc = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += 2)
    acc ^= unsigned(HexPairValue(text.substr(pos, 2)));
  return ByteText(int(acc & 0xFF));
}
inline std::string Bcc(std::string_view text) { return Bcc<char>(text); }

// Body plus its check byte.
std::string WithBcc(std::string_view body);

// Frame bodies (36 characters) of the commands the system sends.
std::string ReadBody(int block);
// The data's 16 characters go in as they are (the console's number text).
template <class CharT>
std::basic_string<CharT> WriteBody(int block, std::basic_string_view<CharT> data16) {
  std::basic_string<CharT> body;
  for (char c : ByteText(int(Command::Write)) + ByteText(block)) body += CharT(c);
  body += data16;
  for (char c : kHalfFill) body += CharT(c);
  return body;
}
inline std::string WriteBody(int block, std::string_view data16) {
  return WriteBody<char>(block, data16);
}
std::string GoodBeepBody();
std::string ErrorBeepBody();
std::string Detect14443Body();
std::string Detect15693Body();

// Replies as our reader libraries give them: "4100", the data, the check
// byte; a failure is "4E", a reason byte and the check byte.
std::string SuccessReply(std::string_view data);
std::string FailureReply(int reason);

// The reason byte of a failure reply, one list for both reader libraries:
// each number means the same in either, and none is ever given a new meaning.
enum class Failure : std::uint8_t {
  // The frame refused (CheckFrame).
  Length = 0x01,     // not 38 characters
  NotHex = 0x02,     // a character that is not a hexadecimal digit
  Bcc = 0x03,        // check byte does not match
  Command = 0x04,    // unknown command
  Parameter = 0x05,  // parameter the command does not know
  // The card.
  NoCard = 0x06,     // no card on the field
  OtherKind = 0x07,  // detect of the kind the card is not
  // The simulated reader only.
  Injected = 0x08,   // a fault set through its tool
  State = 0x09,      // its state file cannot be used
  // The PC/SC reader only.
  NoReader = 0x0A,       // no reader service, or no reader
  CardError = 0x0B,      // a status word other than 90 00, or a wrong length
  Refused = 0x0C,        // a write that would spoil the card; nothing sent
  Lost = 0x0D,           // the card went away during the exchange
  Timeout = 0x0E,        // no answer within the exchange's time
  UnknownLayout = 0x0F,  // a card whose memory we do not know
  Internal = 0x10,
  InUse = 0x11,  // another program holds the reader or keeps the card in a transaction
  Busy = 0x12,   // an earlier exchange is still inside the PC/SC service; nothing sent
  KeyLoad = 0x13,  // the reader took the MIFARE Classic key in none of the documented forms
  NoBeep = 0x14,   // the reader has no beep the library can sound; nothing sent
};
inline std::string FailureReply(Failure why) { return FailureReply(int(why)); }
// Whether a reply came from a reader that is there: a success, or a failure
// only a present reader gives (about the card, or the reader's own refusal
// of a key or a beep); not a missing reader, a timeout, a busy service or a
// frame refused before it went out.
bool ReaderAnswered(std::string_view reply);
// What an operator reads of a failure reply's reason (Korean, UTF-8); empty
// for a success and for reasons nobody at a desk can act on.
std::string_view OperatorText(std::string_view reply);

// A frame as a strict reader takes it: 38 hexadecimal digits (either case),
// a matching check byte, a known command, beeps and detects with 01 or 02.
struct CheckedFrame {
  Command command = Command::Read;
  int parameter = 0;
  std::array<std::uint8_t, 16> data{};
};
struct FrameRefusal {
  Failure failure;  // Length to Parameter
  std::string why;
};
std::variant<CheckedFrame, FrameRefusal> CheckFrame(std::string_view frame);

// Block number text (decimal, 0-255, digits only) to its value.
template <class CharT>
std::optional<int> ParseBlockNumber(std::basic_string_view<CharT> text) {
  if (text.empty() || text.size() > 3) return std::nullopt;
  int value = 0;
  for (CharT c : text) {
    if (c < CharT('0') || c > CharT('9')) return std::nullopt;
    value = value * 10 + int(c - CharT('0'));
  }
  if (value > 255) return std::nullopt;
  return value;
}

// Reply text: status in characters 1-2, "41" is success, compared exactly.
template <class Str>
bool ReplyOk(const Str& reply) {
  return reply.size() >= 2 && reply[0] == '4' && reply[1] == '1';
}

// Characters from 1-based position start, at most count of them; fewer (or
// none) when the reply is shorter.
template <class Str>
Str ReplyField(const Str& reply, std::size_t start, std::size_t count) {
  if (start == 0 || start > reply.size()) return Str();
  return reply.substr(start - 1, count);
}

inline constexpr std::size_t kUidStart = 5;
inline constexpr std::size_t kUid14443Length = 8;
inline constexpr std::size_t kUid15693Length = 16;
inline constexpr std::size_t kBlockDataStart = 5;
inline constexpr std::size_t kConsoleBlockDataLength = 16;
inline constexpr std::size_t kLegacyBlockDataLength = 8;

}  // namespace rfid
