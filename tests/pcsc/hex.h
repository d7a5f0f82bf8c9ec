// APDUs written as hexadecimal text in the tests' tables.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame.h"

namespace rfid::pcsc::testing {

// Pairs of digits; spaces between them are skipped.
inline std::vector<std::uint8_t> FromHex(std::string_view hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(std::uint8_t(HexPairValue(hex.substr(i, 2))));
    i += 2;
  }
  return out;
}

inline std::string ToHex(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  for (auto b : bytes) out += ByteText(b);
  return out;
}

}  // namespace rfid::pcsc::testing
