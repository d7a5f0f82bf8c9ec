// The system's ANSI code page (CP_ACP), as the reader library on Windows
// expects its texts.
#include <windows.h>

#include "code_page.h"

namespace rfid {

std::optional<std::string> EncodeSingleByte(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == u'\0') return std::nullopt;  // would end the C string early
    if (c < 0x80) {  // ASCII is single-byte in every ANSI code page
      out.push_back(char(c));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) return std::nullopt;
    const wchar_t wc = wchar_t(c);
    char buf[8] = {};
    BOOL usedDefault = FALSE;
    // No best-fit: "é" must not quietly become "e" on the card.
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &wc, 1, buf, sizeof buf, nullptr,
                                &usedDefault);
    if (n == 0 && GetLastError() == ERROR_INVALID_PARAMETER)  // a UTF-8 code page takes no flags
      n = WideCharToMultiByte(CP_ACP, 0, &wc, 1, buf, sizeof buf, nullptr, nullptr);
    if (n != 1 || usedDefault) return std::nullopt;
    out.push_back(buf[0]);
  }
  return out;
}

std::u16string DecodeLocal8Bit(const char* bytes, std::size_t count) {
  std::u16string out;
  std::size_t i = 0;
  while (i < count) {
    if (bytes[i] == '\0') {
      out.push_back(u'\0');
      ++i;
      continue;
    }
    // The shortest run of bytes (up to four, never across a NUL) that is one
    // whole character: one byte, or a lead byte and its trail byte(s).
    wchar_t wide[4] = {};
    int got = 0;
    std::size_t used = 0;
    for (std::size_t len = 1; len <= 4 && i + len <= count && bytes[i + len - 1] != '\0'; ++len) {
      got = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes + i, int(len), wide, 4);
      if (got > 0) {
        used = len;
        break;
      }
    }
    if (got <= 0) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    for (int k = 0; k < got; ++k) out.push_back(char16_t(wide[k]));
    i += used;
  }
  return out;
}

}  // namespace rfid
