// How the write button turns what was typed into the number it writes: the
// text's leading number, as classic BASIC's Val reads it, rounded to a whole
// number and written with at least 8 digits.
#pragma once

#include <QString>
#include <QStringView>
#include <stdexcept>

namespace rfid::legacy {

// A leading number too large for a double.
class NumberOverflow : public std::overflow_error {
 public:
  using std::overflow_error::overflow_error;
};

// Blanks (space, tab, line feed) anywhere are skipped; then an optional sign,
// digits with at most one decimal point, and an optional exponent (E or D,
// optional sign, digits). Reading stops at the first character that cannot
// continue the number; no number gives 0. Radix prefixes (&H, &O) are not
// read. Throws NumberOverflow when the value exceeds a double.
double LeadingNumber(QStringView text);

// Nearest whole number (halves away from zero), at least 8 digits with
// leading zeros, a minus sign in front of negative numbers. A value that
// rounds to zero is "00000000".
QString FormatWholeNumber8(double value);

// Both together: the text that replaces the write box's text.
inline QString FormatWriteNumber(QStringView text) {
  return FormatWholeNumber8(LeadingNumber(text));
}

}  // namespace rfid::legacy
