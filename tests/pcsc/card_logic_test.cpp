// Card kinds from ATRs, refused blocks, the APDUs of each frame on each kind,
// frame checks and reply texts: no reader service needed.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "apdu.h"
#include "card_kind.h"
#include "reply.h"
#include "hex.h"
#include "virtual_card.h"

namespace rfid::pcsc {
namespace {

using rig::StorageAtr;

using testing::FromHex;

CardInfo Card(std::uint8_t standard, std::uint16_t name) {
  return IdentifyCard(StorageAtr(standard, name));
}

TEST(CardKind, FromAtr) {
  Bytes truncated = StorageAtr(0x03, 0x0001);
  truncated.resize(12);
  Bytes otherRid = StorageAtr(0x03, 0x0001);
  otherRid[11] = 0x07;
  Bytes inverse = StorageAtr(0x03, 0x0001);
  inverse[0] = 0x3F;
  // TA1 present: the interface bytes are walked, not skipped by position.
  Bytes withTa1 = StorageAtr(0x0B, 0x0014);
  withTa1[1] = 0x9F;
  withTa1.insert(withTa1.begin() + 2, 0x95);
  struct Row {
    const char* what;
    Bytes atr;
    Standard standard;
    Memory memory;
    int classicBlocks;
  };
  const Row rows[] = {
      {"Classic 1K", StorageAtr(0x03, 0x0001), Standard::Iso14443A, Memory::Classic, 64},
      {"Classic 4K", StorageAtr(0x03, 0x0002), Standard::Iso14443A, Memory::Classic, 256},
      {"Mini", StorageAtr(0x03, 0x0026), Standard::Iso14443A, Memory::Classic, 20},
      {"Ultralight", StorageAtr(0x03, 0x0003), Standard::Iso14443A, Memory::Ultralight, 0},
      {"Ultralight C", StorageAtr(0x03, 0x003A), Standard::Iso14443A, Memory::Ultralight, 0},
      {"Ultralight EV1", StorageAtr(0x03, 0x003D), Standard::Iso14443A, Memory::Ultralight, 0},
      {"14443A, no name", StorageAtr(0x03, 0x0000), Standard::Iso14443A, Memory::Unknown, 0},
      {"MIFARE Plus SL1 2K", StorageAtr(0x03, 0x0036), Standard::Iso14443A, Memory::Classic, 128},
      {"MIFARE Plus SL1 4K", StorageAtr(0x03, 0x0037), Standard::Iso14443A, Memory::Classic, 256},
      // 09 and 0A are no storage card's; iCLASS (PicoPass) comes as 0A.
      {"15693, standard byte 09", StorageAtr(0x09, 0x0000), Standard::Iso15693, Memory::Unknown, 0},
      {"iCLASS on OMNIKEY", StorageAtr(0x0A, 0x001C), Standard::Iso15693, Memory::Unknown, 0},
      {"iCLASS, standard byte 0B", StorageAtr(0x0B, 0x0017), Standard::Iso15693, Memory::Unknown, 0},
      {"15693, standard byte 0B", StorageAtr(0x0B, 0x0014), Standard::Iso15693, Memory::Vicinity, 0},
      {"15693, standard byte 0C", StorageAtr(0x0C, 0x0012), Standard::Iso15693, Memory::Vicinity, 0},
      {"15693 with TA1", withTa1, Standard::Iso15693, Memory::Vicinity, 0},
      {"inverse convention", inverse, Standard::Iso14443A, Memory::Classic, 64},
      {"FeliCa", StorageAtr(0x11, 0x003B), Standard::Unknown, Memory::Unknown, 0},
      {"14443B", StorageAtr(0x07, 0x0000), Standard::Unknown, Memory::Unknown, 0},
      {"14443-4 smart card", FromHex("3B 81 80 01 80 80"), Standard::Unknown, Memory::Unknown, 0},
      {"other RID", otherRid, Standard::Unknown, Memory::Unknown, 0},
      {"truncated", truncated, Standard::Unknown, Memory::Unknown, 0},
      {"empty", {}, Standard::Unknown, Memory::Unknown, 0},
      {"not an ATR", FromHex("00 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A"),
       Standard::Unknown, Memory::Unknown, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const CardInfo info = IdentifyCard(row.atr);
    EXPECT_EQ(info.standard, row.standard);
    EXPECT_EQ(info.memory, row.memory);
    EXPECT_EQ(info.classicBlocks, row.classicBlocks);
  }
}

TEST(CardKind, RefusedWrites) {
  struct Row {
    const char* what;
    CardInfo card;
    std::set<int> refused;
  };
  const Row rows[] = {
      {"Classic 1K", Card(0x03, 0x0001),
       {0, 3, 7, 11, 15, 19, 23, 27, 31, 35, 39, 43, 47, 51, 55, 59, 63}},
      {"Mini", Card(0x03, 0x0026), {0, 3, 7, 11, 15, 19}},
      {"Ultralight", Card(0x03, 0x0003), {0, 4, 9, 10, 11, 12, 13, 14, 32, 33, 56, 57, 58, 59}},
      {"ISO 15693", Card(0x0B, 0x0014), {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const int last = row.card.memory == Memory::Classic ? row.card.classicBlocks : 64;
    for (int block = 0; block < last; ++block)
      EXPECT_EQ(WriteRefusal(row.card, block).has_value(), row.refused.count(block) == 1)
          << "block " << block;
  }
  // A 4K card: 4-block sectors up to block 127, then 16-block sectors.
  const CardInfo classic4k = Card(0x03, 0x0002);
  for (int block = 0; block < 256; ++block) {
    const bool trailer = block < 128 ? block % 4 == 3 : block % 16 == 15;
    EXPECT_EQ(WriteRefusal(classic4k, block).has_value(), block == 0 || trailer) << block;
  }
}

std::vector<std::string> Commands(const Plan& plan) {
  std::vector<std::string> out;
  for (const Step& step : plan.steps) out.push_back(HexBytes(step.command, false));
  return out;
}

CheckedFrame Make(Command command, int parameter, std::string_view dataHex = "") {
  CheckedFrame r;
  r.command = command;
  r.parameter = parameter;
  const Bytes data = FromHex(dataHex);
  std::copy(data.begin(), data.end(), r.data.begin());
  return r;
}

TEST(Plans, ApduSequences) {
  const std::string data = "00000123 45AAAAAA 20202020 20202020";
  const CardInfo classic = Card(0x03, 0x0001), ultralight = Card(0x03, 0x0003),
                 vicinity = Card(0x0B, 0x0014), unnamed = Card(0x03, 0x0000);
  struct Row {
    const char* what;
    CheckedFrame request;
    CardInfo card;
    std::vector<std::string> apdus;
    std::vector<std::size_t> lengths;
  };
  const Row rows[] = {
      // Classic: the key and the authentication come from the session.
      {"Classic read 90", Make(Command::Read, 90), classic, {"FFB0005A10"}, {16}},
      {"Classic write 5", Make(Command::Write, 5, data), classic,
       {"FFD6000510" "0000012345AAAAAA" "2020202020202020"}, {0}},
      {"Ultralight read 1: pages 4-7 at once", Make(Command::Read, 1), ultralight,
       {"FFB0000410"}, {16}},
      {"Ultralight read 63: page 252", Make(Command::Read, 63), ultralight, {"FFB000FC10"}, {16}},
      // The first page marked FF FF FF FF first and written last.
      {"Ultralight write 2: pages 8-11", Make(Command::Write, 2, data), ultralight,
       {"FFD6000804FFFFFFFF", "FFD600090445AAAAAA", "FFD6000A0420202020", "FFD6000B0420202020",
        "FFD600080400000123"},
       {0, 0, 0, 0, 0}},
      {"15693 read 1: blocks 4-7", Make(Command::Read, 1), vicinity,
       {"FFB0000404", "FFB0000504", "FFB0000604", "FFB0000704"}, {4, 4, 4, 4}},
      {"15693 read 63: blocks 252-255, the last with a one-byte address", Make(Command::Read, 63),
       vicinity, {"FFB000FC04", "FFB000FD04", "FFB000FE04", "FFB000FF04"}, {4, 4, 4, 4}},
      {"15693 write 1", Make(Command::Write, 1, data), vicinity,
       {"FFD6000404FFFFFFFF", "FFD600050445AAAAAA", "FFD600060420202020", "FFD600070420202020",
        "FFD600040400000123"},
       {0, 0, 0, 0, 0}},
      {"detect 14443A", Make(Command::Detect, 1), classic, {"FFCA000000"}, {kAnyLength}},
      {"detect 14443A, layout unknown", Make(Command::Detect, 1), unnamed, {"FFCA000000"},
       {kAnyLength}},
      {"detect 15693", Make(Command::Detect, 2), vicinity, {"FFCA000000"}, {kAnyLength}},
      {"good beep", Make(Command::Beep, 1), classic, {"FF0040A00401010101"}, {0}},
      {"error beep", Make(Command::Beep, 2), vicinity, {"FF0040500405010101"}, {0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto planned = PlanFor(row.request, row.card);
    ASSERT_TRUE(std::holds_alternative<Plan>(planned));
    const Plan& plan = std::get<Plan>(planned);
    EXPECT_EQ(Commands(plan), row.apdus);
    std::vector<std::size_t> lengths;
    for (const Step& step : plan.steps) lengths.push_back(step.dataLength);
    EXPECT_EQ(lengths, row.lengths);
    EXPECT_EQ(plan.detect, row.request.command == Command::Detect);
  }
}

TEST(Plans, Refusals) {
  const CardInfo classic = Card(0x03, 0x0001), ultralight = Card(0x03, 0x0003),
                 vicinity = Card(0x0B, 0x0014), unnamed = Card(0x03, 0x0000),
                 felica = Card(0x11, 0x003B);
  struct Row {
    const char* what;
    CheckedFrame request;
    CardInfo card;
    Failure failure;
  };
  const Row rows[] = {
      {"detect 15693 on Classic", Make(Command::Detect, 2), classic, Failure::OtherKind},
      {"detect 14443A on 15693", Make(Command::Detect, 1), vicinity, Failure::OtherKind},
      {"detect on FeliCa", Make(Command::Detect, 1), felica, Failure::OtherKind},
      {"read of unknown layout", Make(Command::Read, 1), unnamed, Failure::UnknownLayout},
      {"write of unknown layout", Make(Command::Write, 1), unnamed, Failure::UnknownLayout},
      {"Classic block 0", Make(Command::Write, 0), classic, Failure::Refused},
      {"Classic trailer 7", Make(Command::Write, 7), classic, Failure::Refused},
      {"Ultralight block 0", Make(Command::Write, 0), ultralight, Failure::Refused},
      {"Ultralight NTAG213 lock pages", Make(Command::Write, 10), ultralight, Failure::Refused},
      {"Ultralight NTAG I2C configuration registers", Make(Command::Write, 58), ultralight,
       Failure::Refused},
      {"Ultralight write from page 256", Make(Command::Write, 64), ultralight, Failure::Refused},
      {"Ultralight read from page 1020", Make(Command::Read, 255), ultralight, Failure::Refused},
      {"15693 write from block 256", Make(Command::Write, 64), vicinity, Failure::Refused},
      {"15693 read from block 256", Make(Command::Read, 64), vicinity, Failure::Refused},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto planned = PlanFor(row.request, row.card);
    ASSERT_TRUE(std::holds_alternative<Refusal>(planned));
    EXPECT_EQ(std::get<Refusal>(planned).failure, row.failure);
  }
  // Reading a protected block is harmless and goes ahead.
  EXPECT_TRUE(std::holds_alternative<Plan>(PlanFor(Make(Command::Read, 3), classic)));
  EXPECT_TRUE(std::holds_alternative<Plan>(PlanFor(Make(Command::Read, 0), ultralight)));
  // The last blocks whose first page fits one byte; Classic blocks always fit.
  for (const CardInfo& card : {ultralight, vicinity, Card(0x03, 0x0002)}) {
    const auto planned = PlanFor(Make(Command::Write, card.memory == Memory::Classic ? 254 : 63), card);
    ASSERT_TRUE(std::holds_alternative<Plan>(planned));
    for (const Step& step : std::get<Plan>(planned).steps) EXPECT_EQ(step.command[2], 0x00);
  }
}

TEST(Frames, Checks) {
  struct Row {
    const char* what;
    std::string frame;
    std::optional<Failure> failure;  // nullopt: accepted
  };
  const Row rows[] = {
      {"good beep", "43012020202020202020202020202020202042", std::nullopt},
      {"read block 90", "525A2020202020202020202020202020202008", std::nullopt},
      {"read block 0", "52002020202020202020202020202020202052", std::nullopt},
      {"lower case", "57010000012345aaaaaa20202020202020209b", std::nullopt},
      {"37 characters", "4301202020202020202020202020202020204", Failure::Length},
      {"39 characters", "430120202020202020202020202020202020420", Failure::Length},
      {"empty", "", Failure::Length},
      {"not hex", "4301202020202020202020202020202020G042", Failure::NotHex},
      {"space", "4301202020202020202020202020202020 042", Failure::NotHex},
      {"wrong check byte", "43012020202020202020202020202020202043", Failure::Bcc},
      {"unknown command", "53012020202020202020202020202020202052", Failure::Command},
      {"beep 03", "43032020202020202020202020202020202040", Failure::Parameter},
      {"detect 00", "44002020202020202020202020202020202044", Failure::Parameter},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto checked = CheckFrame(row.frame);
    if (row.failure) {
      ASSERT_TRUE(std::holds_alternative<FrameRefusal>(checked));
      EXPECT_EQ(std::get<FrameRefusal>(checked).failure, *row.failure);
    } else {
      EXPECT_TRUE(std::holds_alternative<CheckedFrame>(checked));
    }
  }
  const auto write = std::get<CheckedFrame>(CheckFrame("57010000012345aaaaaa20202020202020209b"));
  EXPECT_EQ(write.command, Command::Write);
  EXPECT_EQ(write.parameter, 1);
  EXPECT_EQ(HexBytes(write.data, false), "0000012345AAAAAA2020202020202020");
}

TEST(Replies, Texts) {
  EXPECT_EQ(SuccessReply({}), "410041");
  EXPECT_EQ(SuccessReply(FromHex("5A1B2C3D")), "41005A1B2C3D11");
  EXPECT_EQ(SuccessReply(Bytes(16, 0x00)), "41000000000000000000000000000000000041");
  EXPECT_EQ(SuccessReply(Bytes(17, 0x11)).size(), 40u);
  EXPECT_THROW(SuccessReply(Bytes(18, 0x11)), std::length_error);
  EXPECT_EQ(FailureReply(Failure::NoCard), "4E0648");
  EXPECT_EQ(FailureReply(Failure::Timeout), "4E0E40");
  for (Failure f : {Failure::Length, Failure::NoReader, Failure::Lost, Failure::Internal})
    EXPECT_FALSE(ReplyOk(FailureReply(f)));
}

TEST(Library, ExportsExactlyTheTwoCalls) {
  const std::string command = "nm -D --defined-only '" RFID_PCSC_LIBRARY "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> functions;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    char address[64], type[8], name[400];
    if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3 &&
        (type[0] == 'T' || type[0] == 'W' || type[0] == 'D' || type[0] == 'B'))
      functions.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(functions, (std::set<std::string>{"tqr_data_transceive_ex", "tqr_device_find"}));
}

}  // namespace
}  // namespace rfid::pcsc
