#include "exchange.h"

#include <algorithm>
#include <array>
#include <cwchar>
#include <vector>

namespace rfid {

namespace {
// Room beyond the 40 reply characters and their NUL, so that a library that
// overruns the buffer writes into slack we own and never read as reply.
constexpr std::size_t kGuard = 4096;

void AppendCodePoint(std::u16string& out, char32_t cp) {
  if (cp > 0xFFFF) {
    cp -= 0x10000;
    out.push_back(char16_t(0xD800 + (cp >> 10)));
    out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(char16_t(cp));
  }
}
}  // namespace

std::u16string DecodeLocal8Bit(const char* bytes, std::size_t count) {
  std::u16string out;
  std::mbstate_t state{};
  std::size_t i = 0;
  while (i < count) {
    if (bytes[i] == '\0') {
      out.push_back(u'\0');
      state = std::mbstate_t{};
      ++i;
      continue;
    }
    wchar_t wc = 0;
    const std::size_t n = std::mbrtowc(&wc, bytes + i, count - i, &state);
    if (n == std::size_t(-1) || n == std::size_t(-2) || n == 0) {
      out.push_back(u'\uFFFD');
      state = std::mbstate_t{};
      ++i;
      continue;
    }
    AppendCodePoint(out, char32_t(wc));
    i += n;
  }
  return out;
}

std::optional<std::string> EncodeSingleByte(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c < 0x80) {  // ASCII is single-byte in every encoding we meet
      out.push_back(char(c));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) return std::nullopt;
    std::array<char, 16> buf{};
    std::mbstate_t state{};
    const std::size_t n = std::wcrtomb(buf.data(), wchar_t(c), &state);
    if (n != 1) return std::nullopt;
    out.push_back(buf[0]);
  }
  return out;
}

ExchangeResult Exchange(Reader& reader, const std::string& frame) {
  std::vector<char> buffer(kReplyLength + 1 + kGuard, '\0');
  reader.DataTransceiveEx(frame.c_str(), buffer.data());
  ExchangeResult result;
  result.overrun = std::any_of(buffer.begin() + kReplyLength, buffer.end(),
                               [](char c) { return c != '\0'; });
  result.reply = DecodeLocal8Bit(buffer.data(), kReplyLength);
  if (result.reply.size() < kReplyLength) result.reply.resize(kReplyLength, u' ');
  if (result.reply.size() > kReplyLength) result.reply.resize(kReplyLength);
  return result;
}

std::u16string UpToNul(const std::u16string& reply) {
  return reply.substr(0, reply.find(u'\0'));
}

}  // namespace rfid
