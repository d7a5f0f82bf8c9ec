#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>

#include "fake_reader.h"
#include "library_reader.h"

namespace rfid {
namespace {

using testing::FakeReader;

std::string TestLib(const char* name) {
  return (std::filesystem::path(RFID_TEST_LIB_DIR) / name).string();
}

TEST(Exchange, ReplyIsFortyCharactersNulFilledAfterWhatWasWritten) {
  FakeReader reader;
  reader.queued = {"41", "", std::string(40, '7')};
  auto r = Exchange(reader, "4301");
  ASSERT_EQ(r.reply.size(), kReplyLength);
  EXPECT_EQ(UpToNul(r.reply), u"41");
  EXPECT_EQ(r.reply[2], u'\0');
  EXPECT_FALSE(r.overrun);

  r = Exchange(reader, "4301");
  EXPECT_EQ(r.reply, std::u16string(40, u'\0'));
  EXPECT_FALSE(ReplyOk(r.reply));

  r = Exchange(reader, "4301");  // all 40 used, no NUL: still 40 characters
  EXPECT_EQ(r.reply, std::u16string(40, u'7'));
  EXPECT_FALSE(r.overrun);
  EXPECT_EQ(reader.sent, (std::vector<std::string>{"4301", "4301", "4301"}));
}

TEST(Exchange, OverrunIsNoticedAndNeverRead) {
  FakeReader reader;
  reader.queued = {std::string(41, '1') + std::string(200, 'X')};
  auto r = Exchange(reader, "4301");
  EXPECT_TRUE(r.overrun);
  EXPECT_EQ(r.reply, std::u16string(40, u'1'));
}

TEST(Exchange, ConversionThatGivesFewerCharactersIsPaddedWithSpaces) {
  const char* old = std::setlocale(LC_CTYPE, nullptr);
  std::string saved = old ? old : "C";
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
  FakeReader reader;
  // 38 single-byte characters, then one two-byte UTF-8 character: 39 characters.
  reader.queued = {std::string(38, '4') + "\xC3\xA9"};
  auto r = Exchange(reader, "4301");
  std::setlocale(LC_CTYPE, saved.c_str());
  ASSERT_EQ(r.reply.size(), kReplyLength);
  EXPECT_EQ(r.reply.substr(0, 38), std::u16string(38, u'4'));
  EXPECT_EQ(r.reply[38], u'\u00E9');
  EXPECT_EQ(r.reply[39], u' ');
}

TEST(Exchange, SingleByteEncoding) {
  EXPECT_EQ(EncodeSingleByte(u"57010000012345AAAAAA"), "57010000012345AAAAAA");
  EXPECT_EQ(EncodeSingleByte(u"홍길동"), std::nullopt);
  EXPECT_EQ(EncodeSingleByte(u"\U0001F600"), std::nullopt);
  // A NUL would cut the frame short where the library reads it.
  EXPECT_EQ(EncodeSingleByte(std::u16string_view(u"5701\0" u"012345", 11)), std::nullopt);
  EXPECT_EQ(DecodeLocal8Bit("41\0" "7", 4), std::u16string(u"41\0" "7", 4));
}

TEST(Binding, GoodLibraryIsBoundOnFirstCallAndKept) {
  LibraryReader reader(TestLib("libtqr_echo.so"));
  EXPECT_FALSE(reader.Bound());
  EXPECT_EQ(reader.DeviceFind(), 7);
  EXPECT_TRUE(reader.Bound());
  auto r = Exchange(reader, "4301");
  EXPECT_EQ(UpToNul(r.reply), u"414301");
}

TEST(Binding, FailuresNameTheLibraryAndTheEntryPoint) {
  const struct {
    std::string library;
    std::vector<std::string> expected;
    std::string libraryPath;  // LD_LIBRARY_PATH for the row
  } cases[] = {
      {TestLib("libtqr_missing.so"), {"reader library ", "libtqr_missing.so could not be loaded: ", "No such file"}},
      {TestLib("libtqr_no_find.so"), {"libtqr_no_find.so has no entry point tqr_device_find: "}},
      {TestLib("libtqr_no_transceive.so"), {"has no entry point tqr_data_transceive_ex: "}},
      // The loader would pass over it to the simulated reader beside us.
      {"libtqr_32.so", {"i386/libtqr_32.so, named by LD_LIBRARY_PATH, could not be loaded: ", "ELF"},
       TestLib("missing") + ":" + TestLib("i386")},
  };
  const std::string libraryPath = std::getenv("LD_LIBRARY_PATH") ? std::getenv("LD_LIBRARY_PATH") : "";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.library);
    setenv("LD_LIBRARY_PATH", c.libraryPath.empty() ? libraryPath.c_str() : c.libraryPath.c_str(), 1);
    LibraryReader reader(c.library);
    for (int call = 0; call < 2; ++call) {  // a failed binding is tried again, and fails again
      try {
        if (call == 0) reader.DeviceFind();
        else Exchange(reader, "4301");
        ADD_FAILURE() << "no error";
      } catch (const ReaderLibraryError& e) {
        for (const auto& part : c.expected) EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
      }
      EXPECT_FALSE(reader.Bound());
    }
  }
  setenv("LD_LIBRARY_PATH", libraryPath.c_str(), 1);
}

TEST(Binding, OverrunningLibraryCannotCorruptUs) {
  LibraryReader reader(TestLib("libtqr_overrun.so"));
  auto r = Exchange(reader, "4301");
  EXPECT_TRUE(r.overrun);
  EXPECT_EQ(r.reply, std::u16string(40, u'4'));
}

TEST(Binding, LibraryNamesAreThePlatformOnes) {
  EXPECT_EQ(LibraryFileName("tqr_32"), "libtqr_32.so");
  EXPECT_EQ(LibraryFileName("tqr_32", true), "./libtqr_32.so");
  LibraryReader reader(LibraryFileName("tqr_32"));
  EXPECT_FALSE(reader.Bound());  // nothing loads before a call needs it
}

}  // namespace
}  // namespace rfid
