// PadText: fills a text up to a length with copies of one character, on the
// left or the right. It never shortens a text.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace rfid {

class InvalidArgument : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

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
