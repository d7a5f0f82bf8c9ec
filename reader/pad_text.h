// PadText: fills a text up to a length with copies of one character, on the
// left or the right. It never shortens a text. NumberInBlock: the number a
// block text filled that way holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "errors.h"

namespace rfid {

// Side "L" (exactly) pads on the left; any other side pads on the right.
// Throws InvalidArgument when the text is longer than length, or when padding
// is needed and padChar is empty.
template <class Str>
Str PadText(const Str& text, std::int16_t length, const Str& padChar, const Str& side) {
  const long count = long(length) - long(text.size());
  if (count < 0)
    throw InvalidArgument("text of " + std::to_string(text.size()) +
                          " characters is longer than the wanted length " +
                          std::to_string(length));
  if (count > 0 && padChar.empty()) throw InvalidArgument("no pad character given");
  const Str run = count == 0 ? Str() : Str(std::size_t(count), padChar[0]);
  const bool left = side.size() == 1 && side[0] == 'L';
  return left ? run + text : text + run;
}

}  // namespace rfid

namespace rfid {

// Whether a block text read back is the one written: the same characters,
// except that a hexadecimal letter written in lower case comes back from the
// card in upper case.
template <class CharT>
bool SameBlockText(std::basic_string_view<CharT> written, std::basic_string_view<CharT> read) {
  if (written.size() != read.size()) return false;
  for (std::size_t i = 0; i < written.size(); ++i) {
    const CharT w = written[i];
    const bool lowerHex = w >= CharT('a') && w <= CharT('f');
    if (read[i] != w && !(lowerHex && read[i] == CharT(w - CharT('a') + CharT('A')))) return false;
  }
  return true;
}

// The registration number in a block's 16 characters of data, when it is
// there as the console writes one: decimal digits, then at least one "A" of
// filler up to 16 characters. A blank block (all zeros), a block cut in the
// middle of its write, or any other data holds none.
template <class CharT>
std::optional<std::basic_string_view<CharT>> NumberInBlock(std::basic_string_view<CharT> block) {
  constexpr std::size_t kBlockText = 16;
  if (block.size() != kBlockText) return std::nullopt;
  std::size_t digits = 0;
  while (digits < block.size() && block[digits] >= CharT('0') && block[digits] <= CharT('9'))
    ++digits;
  if (digits == 0 || digits == block.size()) return std::nullopt;
  for (std::size_t i = digits; i < block.size(); ++i)
    if (block[i] != CharT('A') && block[i] != CharT('a')) return std::nullopt;
  return block.substr(0, digits);
}

}  // namespace rfid
