#include "write_number.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace rfid::legacy {

namespace {
bool IsBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; }

// Exponents are saturated here: far beyond what a double can hold, and small
// enough to keep the arithmetic below in range.
constexpr long kExponentCap = 100000;

NumberOverflow TooLarge(QStringView text) {
  const QString shown = text.size() > 40 ? text.left(40).toString() + u'…' : text.toString();
  return NumberOverflow("the number \"" + shown.toStdString() + "\" is too large to write");
}
}  // namespace

double LeadingNumber(QStringView text) {
  std::string squeezed;
  squeezed.reserve(std::size_t(text.size()));
  for (QChar c : text)
    if (!IsBlank(c)) squeezed.push_back(c.unicode() < 0x80 ? char(c.unicode()) : '\x7f');

  std::size_t pos = 0;
  bool negative = false;
  if (pos < squeezed.size() && (squeezed[pos] == '+' || squeezed[pos] == '-'))
    negative = squeezed[pos++] == '-';

  std::string mantissa;  // digits and at most one '.'
  bool point = false;
  bool anyDigit = false;
  long intDigits = 0;       // significant digits before the point
  long leadingFraction = 0;  // zeros after the point before the first non-zero digit
  bool nonZero = false;
  for (; pos < squeezed.size(); ++pos) {
    const char c = squeezed[pos];
    if (c >= '0' && c <= '9') {
      anyDigit = true;
      mantissa.push_back(c);
      if (c != '0') nonZero = true;
      if (!point && nonZero) ++intDigits;
      if (point && !nonZero) ++leadingFraction;
    } else if (c == '.' && !point) {
      point = true;
      mantissa.push_back(c);
    } else {
      break;
    }
  }
  if (!anyDigit || !nonZero) return 0.0;

  long exponent = 0;
  if (pos < squeezed.size() &&
      (squeezed[pos] == 'E' || squeezed[pos] == 'e' || squeezed[pos] == 'D' || squeezed[pos] == 'd')) {
    std::size_t p = pos + 1;
    bool expNegative = false;
    if (p < squeezed.size() && (squeezed[p] == '+' || squeezed[p] == '-'))
      expNegative = squeezed[p++] == '-';
    for (; p < squeezed.size() && squeezed[p] >= '0' && squeezed[p] <= '9'; ++p)
      exponent = std::min(exponent * 10 + (squeezed[p] - '0'), kExponentCap);
    if (expNegative) exponent = -exponent;
  }

  const std::string number = mantissa + "e" + std::to_string(exponent);
  double value = 0.0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Decimal magnitude of the first significant digit decides which way.
    const long magnitude = (intDigits > 0 ? intDigits : -leadingFraction) + exponent;
    if (magnitude > 0) throw TooLarge(text);
    return 0.0;
  }
  if (ec != std::errc() || std::isinf(value)) throw TooLarge(text);
  return negative ? -value : value;
}

QString FormatWholeNumber8(double value) {
  const double whole = std::round(value);  // halves away from zero
  if (whole == 0.0 || std::isnan(whole)) return QStringLiteral("00000000");
  char digits[400];
  std::snprintf(digits, sizeof digits, "%.0f", std::fabs(whole));
  QString text = QString::fromLatin1(digits);
  if (text.size() < 8) text = QString(8 - text.size(), u'0') + text;
  return whole < 0 ? u'-' + text : text;
}

}  // namespace rfid::legacy
