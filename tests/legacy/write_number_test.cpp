#include "write_number.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

namespace rfid::legacy {
namespace {

struct Case {
  const char16_t* typed;
  const char* written;
  friend void PrintTo(const Case& c, std::ostream* os) {
    *os << '"' << QString::fromUtf16(c.typed).toStdString() << "\" -> " << c.written;
  }
};

class WriteNumberTest : public ::testing::TestWithParam<Case> {};

TEST_P(WriteNumberTest, Formats) {
  const Case& c = GetParam();
  EXPECT_EQ(FormatWriteNumber(QStringView(c.typed)).toStdString(), c.written)
      << QString::fromUtf16(c.typed).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Typed, WriteNumberTest,
    ::testing::Values(
        // What the write button is known to do.
        Case{u"123", "00000123"}, Case{u"abc", "00000000"}, Case{u"12.7", "00000013"},
        Case{u"-5", "-00000005"}, Case{u"123456789", "123456789"},
        // Blanks inside the number are skipped, reading stops at the first stranger.
        Case{u"  1 2 3", "00000123"}, Case{u"1\t2\n3", "00000123"}, Case{u"12abc", "00000012"},
        Case{u"1,234", "00000001"}, Case{u"1.2.3", "00000001"}, Case{u"12-3", "00000012"},
        Case{u"١٢", "00000000"}, Case{u"7번", "00000007"},
        // Signs.
        Case{u"+7", "00000007"}, Case{u" - 5", "-00000005"}, Case{u"--5", "00000000"},
        Case{u"-", "00000000"}, Case{u"+", "00000000"}, Case{u"", "00000000"},
        // Decimal point and rounding: halves away from zero.
        Case{u".5", "00000001"}, Case{u"0.49", "00000000"}, Case{u"2.5", "00000003"},
        Case{u"-2.5", "-00000003"}, Case{u"-0.4", "00000000"}, Case{u".", "00000000"},
        Case{u"99999999.5", "100000000"}, Case{u"00000123", "00000123"},
        // Exponents, E or D, with their own sign; a bare E adds nothing.
        Case{u"1e3", "00001000"}, Case{u"1.5E1", "00000015"}, Case{u"2d2", "00000200"},
        Case{u"25e-1", "00000003"}, Case{u"1e", "00000001"}, Case{u"1e+", "00000001"},
        Case{u"1 e 2", "00000100"}, Case{u"1e-400", "00000000"}, Case{u"0e999999", "00000000"},
        Case{u"1e20", "100000000000000000000"},
        // Radix prefixes are not read.
        Case{u"&H10", "00000000"}));

TEST(WriteNumberLimits, TooLargeIsAnError) {
  for (const char16_t* typed : {u"1e309", u"1e99999999999999999999", u"-2e400"})
    EXPECT_THROW(LeadingNumber(QStringView(typed)), NumberOverflow)
        << QString::fromUtf16(typed).toStdString();
  EXPECT_DOUBLE_EQ(LeadingNumber(u"1.7e308"), 1.7e308);
}

TEST(WriteNumberLimits, LongestDoubleFormatsInFull) {
  const QString text = FormatWholeNumber8(1.7e308);
  EXPECT_EQ(text.size(), 309);
  EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }));
}

}  // namespace
}  // namespace rfid::legacy
