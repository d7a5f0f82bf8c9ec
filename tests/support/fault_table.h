// One line of a printed fault table, so that its outcome can be quoted;
// columns padded as a terminal shows them (a Hangul syllable takes two).
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>

namespace rfid::testing {

inline int TerminalColumns(const std::string& utf8) {
  int columns = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) == 0x80) continue;  // continuation byte
    columns += c >= 0xE1 && c <= 0xED ? 2 : 1;  // three-byte Hangul and CJK
  }
  return columns;
}

inline void PrintFaultRow(const std::string& fault, const std::string& block,
                          const std::string& window, const std::string& end, const char* mark) {
  std::printf("%-40s %-10s %s%*s %-22s %s\n", fault.c_str(), block.c_str(), window.c_str(),
              std::max(0, 14 - TerminalColumns(window)), "", end.c_str(), mark);
}

inline void PrintFaultTableHeading(const char* faults) {
  PrintFaultRow(faults, "block", "window", "process end", "");
}

}  // namespace rfid::testing
