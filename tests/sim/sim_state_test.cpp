// The state file's text form: what is written is read back unchanged, and
// the locked read-modify-write keeps the file whole.
#include "sim_support.h"

namespace rfid::sim::testing {
namespace {

TEST(SimState, TextFormReadsBackWhatWasWritten) {
  State s = DefaultState();
  s.attached = false;
  s.card.kind = CardKind::Iso15693;
  s.card.uid = "0123456789ABCDEF";
  s.card.onField = false;
  s.card.SetBlock(0, "00000000000000000000000000000001");
  s.card.SetBlock(255, "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF");
  s.faults.fail[0x57] = {true, 0};
  s.faults.fail[0x44] = {true, 7};
  s.faults.lostWrite = {true, 1};
  s.faults.wrongRead = {true, 0};
  s.faults.garbage = {true, 2};
  s.faults.overlong = {true, 3};
  s.faults.delayMs = kMaxDelayMs;
  s.goodBeeps = 12;
  s.errorBeeps = 3;
  s.exchanges = 1234567890123;
  s.Record({1733619723456, "", "", ""});
  s.Record({1, std::string("a \"quoted\" \\ text\n\t\x01\xff\0end", 26), "41 00", "note with  two spaces"});
  s.Record({2, "43012020202020202020202020202020202042", std::string(60, '4'), "x"});

  const std::string text = FormatState(s);
  const State back = ParseState(text);
  EXPECT_EQ(back.attached, s.attached);
  EXPECT_EQ(back.card.kind, s.card.kind);
  EXPECT_EQ(back.card.uid, s.card.uid);
  EXPECT_EQ(back.card.onField, s.card.onField);
  EXPECT_EQ(back.card.blocks, s.card.blocks);
  EXPECT_EQ(back.faults, s.faults);
  EXPECT_EQ(back.goodBeeps, s.goodBeeps);
  EXPECT_EQ(back.errorBeeps, s.errorBeeps);
  EXPECT_EQ(back.exchanges, s.exchanges);
  EXPECT_EQ(back.log, s.log);
  EXPECT_EQ(FormatState(back), text);

  // Faults used up are not written at all.
  State used = DefaultState();
  used.faults.garbage = {true, 1};
  EXPECT_TRUE(used.faults.garbage.Fire());
  EXPECT_FALSE(used.faults.garbage.Fire());
  EXPECT_EQ(FormatState(used), FormatState(DefaultState()));
}

// The state file keeps spaces and escapes quotes; tqr-sim's log keeps
// quotes and escapes spaces. Both write every other odd byte as \xHH.
TEST(SimState, EscapedWritesOddBytesAsHex) {
  const std::string odd("a \"b\"\\\n\x7f\xe9\0z", 11);
  EXPECT_EQ(Escaped(odd, "\""), "a \\x22b\\x22\\x5C\\x0A\\x7F\\xE9\\x00z");
  EXPECT_EQ(Escaped(odd, " "), "a\\x20\"b\"\\x5C\\x0A\\x7F\\xE9\\x00z");
  EXPECT_EQ(Escaped("plain-text~", "\" "), "plain-text~");

  State s = DefaultState();
  s.Record({7, "a \"b\"", "", "x y"});
  const std::string text = FormatState(s);
  EXPECT_NE(text.find("\nlog 7 \"a \\x22b\\x22\" \"\" \"x y\"\n"), std::string::npos) << text;
}

TEST(SimState, SwitchFaultsAreWrittenByNameInAFixedOrder) {
  State s = DefaultState();
  s.faults.overlong = {true, 3};
  s.faults.garbage = {true, 1};
  s.faults.wrongRead = {true, 2};
  s.faults.lostWrite = {true, 0};
  const std::string text = FormatState(s);
  EXPECT_NE(text.find("\nfault lost-write 0\nfault wrong-read 2\nfault garbage 1\n"
                      "fault overlong 3\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(ParseState(text).faults, s.faults);
  EXPECT_EQ(FindFault("delay"), nullptr);
  EXPECT_EQ(FindFault("Garbage"), nullptr);
}

TEST_F(SimTest, UpdateThatThrowsStoresNothing) {
  const StateStore store(m_Path);
  store.Update([](State& s) { s.goodBeeps = 5; });
  const std::string before = FileText(m_Path);
  EXPECT_THROW(store.Update([](State& s) {
    s.goodBeeps = 6;
    throw std::runtime_error("no");
  }),
               std::runtime_error);
  EXPECT_EQ(FileText(m_Path), before);
  EXPECT_EQ(store.Load().goodBeeps, 5);
}

}  // namespace
}  // namespace rfid::sim::testing
