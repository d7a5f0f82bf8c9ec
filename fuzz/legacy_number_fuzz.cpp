// The legacy window's number formatting: any text gives at least eight
// digits with an optional minus sign, or a NumberOverflow; plain digits and
// plain decimals come out as the whole number they are.
#include <QRegularExpression>
#include <QString>
#include <cmath>
#include <cstdlib>

#include "fuzz_check.h"
#include "write_number.h"

using namespace rfid::legacy;

namespace {
QString Squeezed(const QString& text) {
  QString out;
  for (QChar c : text)
    if (c != u' ' && c != u'\t' && c != u'\n') out += c;
  return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  QString result;
  try {
    result = FormatWriteNumber(text);
  } catch (const NumberOverflow&) {
    return 0;
  }
  static const QRegularExpression shape(QStringLiteral("^-?[0-9]{8,}$"));
  FUZZ_CHECK(shape.match(result).hasMatch());
  FUZZ_CHECK(result != QStringLiteral("-00000000"));
  FUZZ_CHECK(result.startsWith(u'-') || result.size() == 8 || result[0] != u'0');

  // Plain decimals (no exponent, at most 15 significant digits) against the
  // C library's reading of the same text.
  const QString plain = Squeezed(text);
  static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]{1,15}(\\.[0-9]{0,15})?$"));
  if (decimal.match(plain).hasMatch()) {
    const double value = std::strtod(plain.toLatin1().constData(), nullptr);
    const double whole = std::round(value);
    QString expected = QString::number(std::fabs(whole), 'f', 0).rightJustified(8, u'0');
    if (whole < 0) expected.prepend(u'-');
    FUZZ_CHECK(result == expected);
  }
  return 0;
}
