// The locale's 8-bit encoding (LC_CTYPE), as the C library converts it.
#include <array>
#include <cwchar>

#include "code_page.h"

namespace rfid {

namespace {
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
    if (c == u'\0') return std::nullopt;  // would end the C string early
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

}  // namespace rfid
