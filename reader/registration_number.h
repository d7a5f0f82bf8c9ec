// What a registration number is and how a block holds one: PadText fills a
// text up to a length with copies of one character, on the left or the
// right (it never shortens a text); IsRegistrationNumber and NumberInBlock
// tell a number and the number a block text filled that way holds.
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

inline constexpr std::size_t kBlockTextLength = 16;

// A registration number: one or more decimal digits. Nothing else can be
// written: a letter could not be told from the block's "A" filler or from
// the mark a torn write leaves (FF), so it would not read back as written.
template <class CharT>
bool IsRegistrationNumber(std::basic_string_view<CharT> text) {
  if (text.empty()) return false;
  for (CharT c : text)
    if (c < CharT('0') || c > CharT('9')) return false;
  return true;
}

// The registration number in a block's 16 characters of data, when it is
// there as the write puts one: its first dataLength characters a number,
// the rest "A". A blank block (all zeros), a block cut in the middle of its
// write, or any other data holds none.
template <class CharT>
std::optional<std::basic_string_view<CharT>> NumberInBlock(std::basic_string_view<CharT> block,
                                                           int dataLength) {
  if (block.size() != kBlockTextLength || dataLength < 1 || dataLength > int(kBlockTextLength))
    return std::nullopt;
  const auto number = block.substr(0, std::size_t(dataLength));
  if (!IsRegistrationNumber(number)) return std::nullopt;
  for (CharT c : block.substr(number.size()))
    if (c != CharT('A')) return std::nullopt;
  return number;
}

}  // namespace rfid
