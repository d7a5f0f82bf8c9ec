// The simulated reader library, bound and called as the program does.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <set>

#include "sim_reader.h"
#include "sim_support.h"

namespace rfid::sim::testing {
namespace {

const std::string kData = "0000012345AAAAAA2020202020202020";

std::string Fail(Failure why) { return FailureReply(why); }

TEST_F(SimTest, DefaultStateHasReaderAndBlank14443ACard) {
  EXPECT_EQ(Library().DeviceFind(), 1);
  const Reply uid = Send(WithBcc(Detect14443Body()));
  EXPECT_TRUE(ReplyOk(uid.text));
  EXPECT_EQ(ReplyField(uid.text, kUidStart, kUid14443Length), DefaultUid(CardKind::Iso14443A));
  for (int block : {0, 1, 90, 255}) {
    const Reply r = Send(ReadFrame(block));
    EXPECT_TRUE(ReplyOk(r.text)) << block;
    EXPECT_EQ(BlockData(r), std::string(32, '0')) << block;
  }
  EXPECT_FALSE(std::filesystem::exists(m_Path + ".tmp"));
}

TEST_F(SimTest, StrictFrameCheckRefusesAndStoresNothing) {
  const std::string write = WriteFrame(5, kData);
  std::string lower = write;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  std::string badBcc = write;
  badBcc[37] = badBcc[37] == '0' ? '1' : '0';
  std::string notHex = write.substr(0, 36);
  notHex[10] = 'G';
  notHex = WithBcc(notHex);  // a check byte that fits what the routine makes of it
  std::string space = write;
  space[20] = ' ';
  struct Case {
    const char* name;
    std::string frame;
    std::string reply;  // expected reply text
  };
  const std::vector<Case> cases = {
      {"empty", "", Fail(Failure::Length)},
      {"37 characters", write.substr(0, 37), Fail(Failure::Length)},
      {"39 characters", write + "0", Fail(Failure::Length)},
      {"body only", write.substr(0, 36), Fail(Failure::Length)},
      {"not hex", notHex, Fail(Failure::NotHex)},
      {"space", space, Fail(Failure::NotHex)},
      {"bad check byte", badBcc, Fail(Failure::Bcc)},
      {"unknown command", WithBcc("5805" + kData), Fail(Failure::Command)},
      {"command 00", WithBcc("0005" + kData), Fail(Failure::Command)},
      {"beep 00", WithBcc("4300" + std::string(kFill)), Fail(Failure::Parameter)},
      {"beep 03", WithBcc("4303" + std::string(kFill)), Fail(Failure::Parameter)},
      {"detect 00", WithBcc("4400" + std::string(kFill)), Fail(Failure::Parameter)},
      {"detect 03", WithBcc("4403" + std::string(kFill)), Fail(Failure::Parameter)},
      {"detect of the other kind", WithBcc(Detect15693Body()), Fail(Failure::OtherKind)},
      {"lower-case write is a frame", lower, SuccessReply("")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Reply r = Send(c.frame);
    EXPECT_EQ(r.text, c.reply);
    EXPECT_EQ(ReplyOk(r.text), c.reply.rfind("41", 0) == 0);
    const State s = Load();
    if (std::string(c.name) != "lower-case write is a frame")
      EXPECT_EQ(s.card.Block(5), BlankBlock());
    else
      EXPECT_EQ(s.card.Block(5), kData);  // stored in upper case
    EXPECT_EQ(s.goodBeeps + s.errorBeeps, 0);
    EXPECT_EQ(s.log.back().frame, c.frame);
    EXPECT_EQ(s.log.back().reply, c.reply);
  }
}

struct KindCase {
  const char* kind;
  CardKind cardKind;
  const char* uid;
  std::string detect;
  std::string otherDetect;
};

TEST_F(SimTest, DetectReadAndWriteRoundTripOnBothKinds) {
  const std::vector<KindCase> cases = {
      {"14443A", CardKind::Iso14443A, "DEADBEEF", WithBcc(Detect14443Body()),
       WithBcc(Detect15693Body())},
      {"15693", CardKind::Iso15693, "0123456789ABCDEF", WithBcc(Detect15693Body()),
       WithBcc(Detect14443Body())},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.kind);
    Tool({"reset"});
    Tool({"card", c.kind, c.uid});
    const Reply uid = Send(c.detect);
    ASSERT_TRUE(ReplyOk(uid.text)) << uid.text;
    EXPECT_EQ(ReplyField(uid.text, kUidStart, UidLength(c.cardKind)), c.uid);
    EXPECT_EQ(uid.text.size(), 4 + UidLength(c.cardKind) + 2);
    EXPECT_FALSE(ReplyOk(Send(c.otherDetect).text));

    const std::vector<std::pair<int, std::string>> writes = {
        {0, "00112233445566778899AABBCCDDEEFF"},
        {1, kData},
        {90, "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
        {255, "0123456789abcdef0123456789ABCDEF"},
    };
    for (const auto& [block, data] : writes)
      EXPECT_EQ(Send(WriteFrame(block, data)).text, SuccessReply("")) << block;
    for (const auto& [block, data] : writes) {
      const Reply r = Send(ReadFrame(block));
      ASSERT_TRUE(ReplyOk(r.text)) << block;
      std::string upper = data;
      for (char& ch : upper) ch = char(std::toupper(static_cast<unsigned char>(ch)));
      EXPECT_EQ(BlockData(r), upper) << block;
      EXPECT_EQ(r.text, SuccessReply(upper));
    }
    // Writing blank again leaves nothing behind in the state.
    Send(WriteFrame(90, BlankBlock()));
    EXPECT_EQ(Load().card.blocks.count(90), 0u);
    EXPECT_EQ(BlockData(Send(ReadFrame(90))), BlankBlock());
  }
}

TEST_F(SimTest, EveryReplyEndsWithItsCheckByteAndFitsTheBuffer) {
  const std::vector<std::string> frames = {
      WithBcc(GoodBeepBody()),  WithBcc(ErrorBeepBody()), WithBcc(Detect14443Body()),
      WithBcc(Detect15693Body()), ReadFrame(1),            WriteFrame(1, kData),
      ReadFrame(255),           "", "43",                 WithBcc("9901" + std::string(kFill)),
      std::string(300, '4'),
  };
  Tool({"fault", "wrong-read", "1"});
  for (int round = 0; round < 2; ++round) {
    for (const std::string& frame : frames) {
      SCOPED_TRACE(frame);
      const Reply r = Send(frame);
      EXPECT_FALSE(r.overrun);
      ASSERT_GE(r.text.size(), 6u);
      ASSERT_LT(r.text.size(), kReplyLength);  // so a NUL follows it
      const std::string before = r.text.substr(0, r.text.size() - 2);
      EXPECT_EQ(r.text.substr(r.text.size() - 2), Bcc(before));
      EXPECT_EQ(r.raw[r.text.size()], u'\0');
    }
    Tool({"card", "15693"});
  }
}

TEST_F(SimTest, DetachedReaderAnswersNothingAndStoresNothing) {
  Tool({"detach"});
  EXPECT_EQ(Library().DeviceFind(), 0);
  for (const std::string& frame :
       {WithBcc(Detect14443Body()), WriteFrame(3, kData), ReadFrame(3), WithBcc(GoodBeepBody())}) {
    const Reply r = Send(frame);
    EXPECT_EQ(r.raw, std::u16string(kReplyLength, u'\0')) << frame;
    EXPECT_FALSE(ReplyOk(r.text));
  }
  State s = Load();
  EXPECT_EQ(s.card.Block(3), BlankBlock());
  EXPECT_EQ(s.goodBeeps, 0);
  EXPECT_EQ(s.log.size(), 4u);  // logged all the same
  EXPECT_EQ(s.log.back().reply, "");

  Tool({"attach"});
  EXPECT_EQ(Library().DeviceFind(), 1);
  EXPECT_TRUE(ReplyOk(Send(ReadFrame(3)).text));
}

TEST_F(SimTest, NoCardFailsCardCommandsButBeepsStillSound) {
  Send(WriteFrame(2, kData));
  Tool({"card", "none"});
  EXPECT_EQ(Library().DeviceFind(), 1);
  EXPECT_EQ(Send(WithBcc(Detect14443Body())).text, Fail(Failure::NoCard));
  EXPECT_EQ(Send(WithBcc(Detect15693Body())).text, Fail(Failure::NoCard));
  EXPECT_EQ(Send(ReadFrame(2)).text, Fail(Failure::NoCard));
  EXPECT_EQ(Send(WriteFrame(2, std::string(32, 'F'))).text, Fail(Failure::NoCard));
  EXPECT_EQ(Send(WithBcc(GoodBeepBody())).text, SuccessReply(""));
  EXPECT_EQ(Send(WithBcc(ErrorBeepBody())).text, SuccessReply(""));
  const State s = Load();
  EXPECT_EQ(s.goodBeeps, 1);
  EXPECT_EQ(s.errorBeeps, 1);

  // The same card comes back with its memory; another card is blank.
  Tool({"card", "14443A"});
  EXPECT_EQ(BlockData(Send(ReadFrame(2))), kData);
  Tool({"card", "14443A", "0BADCAFE"});
  EXPECT_EQ(BlockData(Send(ReadFrame(2))), BlankBlock());
  EXPECT_EQ(ReplyField(Send(WithBcc(Detect14443Body())).text, kUidStart, 8), "0BADCAFE");
}

TEST_F(SimTest, StatePersistsAcrossProcesses) {
  // Tool to library.
  Tool({"block", "7", "0000012345AAAAAA2020202020202020"});
  EXPECT_EQ(BlockData(Send(ReadFrame(7))), kData);
  // Library in a child process to the tool and to this process.
  ASSERT_TRUE(Succeeded(Child([] {
    return ReplyOk(Send(WriteFrame(8, "0000099999AAAAAA2020202020202020")).text);
  })));
  const ToolResult r = RunTool({"block", "8"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "0000099999AAAAAA2020202020202020\n");
  EXPECT_EQ(BlockData(Send(ReadFrame(8))), "0000099999AAAAAA2020202020202020");
}

// Data a writer puts into a block: who wrote it and which write it was.
std::string Stamp(int writer, int n) {
  char text[33];
  std::snprintf(text, sizeof text, "%02X%06X%024X", writer, n, 0);
  return text;
}

TEST_F(SimTest, TwoWriterProcessesLoseNoUpdateOnDifferentBlocks) {
  constexpr int kWrites = 120;
  auto writer = [](int id, int firstBlock) {
    return Child([=] {
      for (int i = 0; i < kWrites; ++i) {
        if (!ReplyOk(Send(WriteFrame(firstBlock + i, Stamp(id, i))).text)) return false;
        if (!ReplyOk(Send(WithBcc(id == 1 ? GoodBeepBody() : ErrorBeepBody())).text))
          return false;
      }
      return true;
    });
  };
  const pid_t a = writer(1, 0);
  const pid_t b = writer(2, 128);
  ASSERT_TRUE(Succeeded(a));
  ASSERT_TRUE(Succeeded(b));
  const State s = Load();
  for (int i = 0; i < kWrites; ++i) {
    EXPECT_EQ(s.card.Block(i), Stamp(1, i)) << i;
    EXPECT_EQ(s.card.Block(128 + i), Stamp(2, i)) << i;
  }
  EXPECT_EQ(s.goodBeeps, kWrites);
  EXPECT_EQ(s.errorBeeps, kWrites);
  EXPECT_EQ(s.exchanges, 4 * kWrites);
}

TEST_F(SimTest, TwoWriterProcessesOnOneBlockNeverLeaveItTorn) {
  constexpr int kWrites = 150;
  auto writer = [](int id) {
    return Child([=] {
      for (int i = 0; i < kWrites; ++i)
        if (!ReplyOk(Send(WriteFrame(9, Stamp(id, i))).text)) return false;
      return true;
    });
  };
  // A reader alongside: every read gives a whole block one writer wrote.
  auto reader = Child([] {
    for (int i = 0; i < kWrites; ++i) {
      const Reply r = Send(ReadFrame(9));
      if (!ReplyOk(r.text)) return false;
      const std::string data = BlockData(r);
      if (data == BlankBlock()) continue;
      const int id = std::stoi(data.substr(0, 2), nullptr, 16);
      const int n = std::stoi(data.substr(2, 6), nullptr, 16);
      if ((id != 1 && id != 2) || n >= kWrites || data != Stamp(id, n)) return false;
    }
    return true;
  });
  const pid_t a = writer(1);
  const pid_t b = writer(2);
  ASSERT_TRUE(Succeeded(a));
  ASSERT_TRUE(Succeeded(b));
  ASSERT_TRUE(Succeeded(reader));
  const State s = Load();
  const std::string last = s.card.Block(9);
  EXPECT_TRUE(last == Stamp(1, kWrites - 1) || last == Stamp(2, kWrites - 1)) << last;
  EXPECT_EQ(s.exchanges, 3 * kWrites);
  EXPECT_FALSE(std::filesystem::exists(m_Path + ".tmp"));
}

TEST_F(SimTest, InjectedCommandFailureFailsOnlyThatCommand) {
  Tool({"fault", "fail", "57"});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Send(WriteFrame(1, kData)).text, Fail(Failure::Injected));
  EXPECT_EQ(Load().card.Block(1), BlankBlock());
  EXPECT_TRUE(ReplyOk(Send(ReadFrame(1)).text));
  EXPECT_TRUE(ReplyOk(Send(WithBcc(GoodBeepBody())).text));
  // A refused frame is refused for what it is, before any fault.
  EXPECT_EQ(Send(WriteFrame(1, kData).substr(0, 36)).text, Fail(Failure::Length));

  Tool({"fault", "fail", "44", "2"});
  EXPECT_EQ(Send(WithBcc(Detect14443Body())).text, Fail(Failure::Injected));
  EXPECT_EQ(Send(WithBcc(Detect14443Body())).text, Fail(Failure::Injected));
  EXPECT_TRUE(ReplyOk(Send(WithBcc(Detect14443Body())).text));

  Tool({"fault", "clear", "fail", "57"});
  EXPECT_EQ(Send(WriteFrame(1, kData)).text, SuccessReply(""));
  EXPECT_TRUE(Load().faults.fail.empty());
}

TEST_F(SimTest, LostWriteAnswersSuccessAndStoresNothing) {
  Send(WriteFrame(4, kData));
  Tool({"fault", "lost-write", "1"});
  EXPECT_EQ(Send(WriteFrame(4, std::string(32, 'A'))).text, SuccessReply(""));
  EXPECT_EQ(BlockData(Send(ReadFrame(4))), kData);
  EXPECT_EQ(Send(WriteFrame(4, std::string(32, 'A'))).text, SuccessReply(""));  // used up
  EXPECT_EQ(BlockData(Send(ReadFrame(4))), std::string(32, 'A'));
}

TEST_F(SimTest, WrongReadAnswersSuccessWithOtherData) {
  Send(WriteFrame(4, kData));
  Tool({"fault", "wrong-read"});
  for (int i = 0; i < 2; ++i) {
    const Reply r = Send(ReadFrame(4));
    EXPECT_TRUE(ReplyOk(r.text));
    EXPECT_EQ(BlockData(r).size(), 32u);
    EXPECT_NE(BlockData(r), kData);
  }
  EXPECT_EQ(Load().card.Block(4), kData);
  Tool({"fault", "clear", "wrong-read"});
  EXPECT_EQ(BlockData(Send(ReadFrame(4))), kData);
}

TEST_F(SimTest, GarbageReplyIsFortyCharactersOfNoise) {
  Tool({"fault", "garbage", "1"});
  // Raw buffer: the guard beyond the 40 characters stays untouched.
  std::vector<char> buffer(200, '\0');
  Library().DataTransceiveEx(WithBcc(GoodBeepBody()).c_str(), buffer.data());
  const std::string reply(buffer.data(), 40);
  EXPECT_EQ(reply.find('\0'), std::string::npos);
  EXPECT_NE(reply.substr(0, 2), "41");
  EXPECT_TRUE(std::all_of(buffer.begin() + 40, buffer.end(), [](char c) { return c == 0; }));
  EXPECT_EQ(Load().goodBeeps, 1);  // the reader did beep; only its answer is noise

  const Reply r = Send(WithBcc(GoodBeepBody()));
  EXPECT_EQ(r.text, SuccessReply(""));  // used up
}

TEST_F(SimTest, OverlongReplyRunsPastTheBufferByABoundedAmount) {
  Tool({"fault", "overlong"});
  std::vector<char> buffer(1000, '\0');
  Library().DataTransceiveEx(ReadFrame(1).c_str(), buffer.data());
  const std::string written(buffer.data());
  EXPECT_EQ(written.size(), 60u);
  EXPECT_EQ(written.substr(0, 38), SuccessReply(BlankBlock()));
  EXPECT_TRUE(std::all_of(buffer.begin() + 60, buffer.end(), [](char c) { return c == 0; }));

  const Reply r = Send(ReadFrame(1));  // the program's guard notices it
  EXPECT_TRUE(r.overrun);
  EXPECT_EQ(r.raw.size(), kReplyLength);
  Tool({"fault", "clear"});
  EXPECT_FALSE(Send(ReadFrame(1)).overrun);
}

TEST_F(SimTest, DelayHoldsEachReplyBack) {
  Tool({"fault", "delay", "150"});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ReplyOk(Send(ReadFrame(1)).text));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  EXPECT_EQ(Load().faults.delayMs, 150);  // stays until cleared
}

TEST_F(SimTest, ExchangeLogKeepsTheLastFifty) {
  for (int i = 0; i < 60; ++i) Send(ReadFrame(i));
  const State s = Load();
  ASSERT_EQ(s.log.size(), kLogLimit);
  EXPECT_EQ(s.log.front().frame, ReadFrame(10));
  EXPECT_EQ(s.log.back().frame, ReadFrame(59));
  EXPECT_EQ(s.log.back().reply, SuccessReply(BlankBlock()));
  EXPECT_EQ(s.exchanges, 60);
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  EXPECT_LE(s.log.back().timeMs, now);
  EXPECT_GT(s.log.back().timeMs, now - 60000);
}

TEST_F(SimTest, DamagedStateFileIsAFailureReplyAndStaysAsItWas) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"header only", "tqr-sim-state 1\n"},
      {"cut in a line", "tqr-sim-state 1\nreader attached\ncard 14443A 1A2B"},
      {"no end line", "tqr-sim-state 1\nreader attached\ncard 14443A 1A2B3C4D on-field\n"},
      {"other file", "hello\n"},
      {"bad block", "tqr-sim-state 1\nreader attached\ncard 14443A 1A2B3C4D on-field\n"
                    "block 1 XYZ\nend\n"},
      {"block out of range", "tqr-sim-state 1\nreader attached\ncard 15693 1A2B3C4D5E6F7081 "
                             "away\nblock 256 00000000000000000000000000000001\nend\n"},
      {"short UID", "tqr-sim-state 1\nreader attached\ncard 15693 1A2B3C4D on-field\nend\n"},
      {"reader twice", "tqr-sim-state 1\nreader attached\nreader attached\n"
                       "card 14443A 1A2B3C4D on-field\nend\n"},
      {"unknown line", "tqr-sim-state 1\nreader attached\ncard 14443A 1A2B3C4D on-field\n"
                       "colour blue\nend\n"},
      {"after end", "tqr-sim-state 1\nreader attached\ncard 14443A 1A2B3C4D on-field\nend\n"
                    "block 1 00000000000000000000000000000001\n"},
      {"binary", std::string("tqr-sim-state 1\n\0\xff\xfe\n", 20)},
      {"open quote", "tqr-sim-state 1\nreader attached\ncard 14443A 1A2B3C4D on-field\n"
                     "log 1 \"4301\nend\n"},
  };
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    { std::ofstream(m_Path, std::ios::binary) << text; }
    EXPECT_EQ(Library().DeviceFind(), 0);
    EXPECT_EQ(Send(WriteFrame(1, kData)).text, Fail(Failure::State));
    EXPECT_EQ(FileText(m_Path), text);
    const ToolResult show = RunTool({"show"});
    EXPECT_EQ(show.code, 1);
    EXPECT_NE(show.err.find(m_Path), std::string::npos) << show.err;
    EXPECT_NE(show.err.find("damaged"), std::string::npos) << show.err;
    EXPECT_EQ(RunTool({"attach"}).code, 1);
    EXPECT_EQ(FileText(m_Path), text);
  }
  Tool({"reset"});
  EXPECT_EQ(Library().DeviceFind(), 1);
  EXPECT_EQ(Send(WriteFrame(1, kData)).text, SuccessReply(""));
}

TEST_F(SimTest, StateInAFolderThatCannotBeMadeIsAFailureReply) {
  { std::ofstream(m_Dir + "/file") << "x"; }
  setenv("TQR_SIM_STATE", (m_Dir + "/file/state").c_str(), 1);
  EXPECT_EQ(Send(ReadFrame(1)).text, Fail(Failure::State));
  EXPECT_EQ(RunTool({"attach"}).code, 1);
}

}  // namespace
}  // namespace rfid::sim::testing
