#include <gtest/gtest.h>

#include "frame.h"
#include "registration_number.h"

namespace rfid {
namespace {

struct FrameCase {
  const char* name;
  std::string body;
  std::string frame;
};

TEST(Frame, WorkedExamplesAndCommandBodies) {
  const FrameCase cases[] = {
      {"good beep", GoodBeepBody(), "43012020202020202020202020202020202042"},
      {"error beep", ErrorBeepBody(), "43022020202020202020202020202020202041"},
      {"detect 14443A", Detect14443Body(), "44012020202020202020202020202020202045"},
      {"detect 15693", Detect15693Body(), "44022020202020202020202020202020202046"},
      {"read block 1", ReadBody(1), "52012020202020202020202020202020202053"},
      {"read block 90", ReadBody(90), "525A2020202020202020202020202020202008"},
      {"write 12345", WriteBody(1, "0000012345AAAAAA"), "57010000012345AAAAAA20202020202020209B"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.body.size(), kFrameBodyLength);
    EXPECT_EQ(WithBcc(c.body), c.frame);
  }
}

TEST(Frame, BccOfUnusualTexts) {
  const struct {
    std::string text;
    std::string bcc;
  } cases[] = {
      {"", "00"},
      {"5", "05"},          // odd length: last single character is one digit
      {"12A", "18"},        // 0x12 ^ 0x0A
      {"ab", "AB"},         // lower-case digits
      {"abCD", "66"},       // 0xAB ^ 0xCD
      {"1Z", "01"},         // leading hex digits only
      {"Z1", "00"},         // no leading hex digit counts 0
      {"ZZ10", "10"},
      {"570100000057AAAAAAAA2020202020202020", "01"},  // below 0x10: leading 0
      {"FFFF", "00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Bcc(c.text), c.bcc);
  }
}

TEST(Frame, BccWorksOnWideTextsAndRefusesOverlongOnes) {
  EXPECT_EQ(Bcc<char16_t>(u"4301" u"20202020202020202020202020202020"), "42");
  EXPECT_EQ(Bcc(std::string(254, '1')), "11");  // 127 pairs of 0x11
  EXPECT_THROW(Bcc(std::string(255, '1')), std::length_error);
}

TEST(Frame, ByteTextPadsToTwoDigitsAndRefusesOutOfRange) {
  EXPECT_EQ(ByteText(0), "00");
  EXPECT_EQ(ByteText(0x0A), "0A");
  EXPECT_EQ(ByteText(0x5A), "5A");
  EXPECT_EQ(ByteText(255), "FF");
  EXPECT_THROW(ByteText(256), std::out_of_range);
  EXPECT_THROW(ByteText(-1), std::out_of_range);
}

TEST(Frame, BlockNumbers) {
  const struct {
    std::string text;
    std::optional<int> value;
  } cases[] = {
      {"01", 1}, {"1", 1}, {"10", 10}, {"16", 16}, {"90", 90}, {"0", 0}, {"255", 255},
      {"", std::nullopt}, {"256", std::nullopt}, {"-1", std::nullopt}, {"1a", std::nullopt},
      {" 1", std::nullopt}, {"+1", std::nullopt}, {"0001", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseBlockNumber<char>(c.text), c.value);
  }
  EXPECT_EQ(ReadBody(*ParseBlockNumber<char>("1")), ReadBody(*ParseBlockNumber<char>("01")));
  EXPECT_EQ(ReadBody(10).substr(0, 4), "520A");
}

TEST(Reply, StatusAndFields) {
  const std::string full = "41001234567890ABCDEF";
  EXPECT_TRUE(ReplyOk(full));
  EXPECT_TRUE(ReplyOk(std::string("41")));
  EXPECT_FALSE(ReplyOk(std::string("")));
  EXPECT_FALSE(ReplyOk(std::string("4")));
  EXPECT_FALSE(ReplyOk(std::string(" 41")));   // positional
  EXPECT_FALSE(ReplyOk(std::string("4E41")));
  EXPECT_FALSE(ReplyOk(std::string(40, '\0')));
  EXPECT_FALSE(ReplyOk(std::u16string(u"4l")));
  EXPECT_TRUE(ReplyOk(std::u16string(u"41")));

  EXPECT_EQ(ReplyField(full, kUidStart, 8), "12345678");
  EXPECT_EQ(ReplyField(full, kUidStart, 16), "1234567890ABCDEF");
  EXPECT_EQ(ReplyField(std::string("41"), kUidStart, 8), "");      // shorter than the field
  EXPECT_EQ(ReplyField(std::string("410012"), kUidStart, 8), "12");
  EXPECT_EQ(ReplyField(std::string("4100"), kUidStart, 8), "");
}

// The reason numbers are what callers and the READMEs know: never renumbered.
TEST(Reply, FailureReasonsKeepTheirNumbers) {
  const struct {
    Failure reason;
    const char* reply;
  } rows[] = {
      {Failure::Length, "4E014F"},
      {Failure::NotHex, "4E024C"},
      {Failure::Bcc, "4E034D"},
      {Failure::Command, "4E044A"},
      {Failure::Parameter, "4E054B"},
      {Failure::NoCard, "4E0648"},
      {Failure::OtherKind, "4E0749"},
      {Failure::Injected, "4E0846"},
      {Failure::State, "4E0947"},
      {Failure::NoReader, "4E0A44"},
      {Failure::CardError, "4E0B45"},
      {Failure::Refused, "4E0C42"},
      {Failure::Lost, "4E0D43"},
      {Failure::Timeout, "4E0E40"},
      {Failure::UnknownLayout, "4E0F41"},
      {Failure::Internal, "4E105E"},
      {Failure::InUse, "4E115F"},
      {Failure::Busy, "4E125C"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FailureReply(row.reason), row.reply);
    EXPECT_FALSE(ReplyOk(FailureReply(row.reason))) << row.reply;
  }
}

TEST(PadText, PadsOnTheSideAsked) {
  const struct {
    std::string text;
    int length;
    std::string pad, side, result;
  } cases[] = {
      {"12345", 10, "0", "L", "0000012345"},
      {"0000012345", 16, "A", "R", "0000012345AAAAAA"},
      {"abc", 3, "0", "L", "abc"},
      {"", 0, "0", "L", ""},
      {"12", 4, "0", "l", "1200"},  // only an exact "L" pads left
      {"12", 4, "0", "", "1200"},
      {"12", 4, "xy", "L", "xx12"},  // first character of the pad string
      {"", 3, "A", "R", "AAA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + "/" + c.side);
    EXPECT_EQ(PadText(c.text, std::int16_t(c.length), c.pad, c.side), c.result);
  }
  EXPECT_EQ(PadText<std::u16string>(u"가", 3, u"0", u"L"), u"00가");
}

TEST(PadText, RefusesToShortenAndLeavesInputsAlone) {
  const std::string text = "12345";
  EXPECT_THROW(PadText(text, std::int16_t(4), std::string("0"), std::string("L")), InvalidArgument);
  EXPECT_THROW(PadText(text, std::int16_t(-1), std::string("0"), std::string("L")), InvalidArgument);
  EXPECT_THROW(PadText(text, std::int16_t(6), std::string(""), std::string("L")), InvalidArgument);
  EXPECT_EQ(text, "12345");
}

}  // namespace
}  // namespace rfid
