// The PC/SC reader library against faults found by review: another program
// holding the reader, exchanges that time out, blocks past a one-byte page
// address, several readers, and the cards whose refusals matter most.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "rig_fixture.h"

namespace rfid::pcsc::rig {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kRefused = FailureReply(0x0C);
const std::string kCardError = FailureReply(0x0B);
const std::string kInUse = FailureReply(0x11);
const std::string kBusy = FailureReply(0x12);

Bytes BlockOf(VirtualCard& card, int block) {
  return card.With([&](CardModel& m) { return m.Read(std::size_t(block) * 16, 16); });
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// An exchange once an earlier one that overran has left the PC/SC service.
std::string SendWhenFree(const std::string& body) {
  const auto deadline = Clock::now() + 6s;
  std::string reply = Send(body);
  while (reply == kBusy && Clock::now() < deadline) {
    std::this_thread::sleep_for(50ms);
    reply = Send(body);
  }
  return reply;
}

// UPDATE BINARY APDUs that carried a part of data.
int UpdatesCarrying(VirtualCard& card, const Bytes& data) {
  int n = 0;
  for (const Bytes& apdu : card.Apdus()) {
    if (apdu.size() < 9 || apdu[1] != 0xD6) continue;
    const Bytes sent(apdu.begin() + 5, apdu.end());
    n += std::search(data.begin(), data.end(), sent.begin(), sent.end()) != data.end();
  }
  return n;
}

OtherProgram Hold(const char* reader, OtherProgram::Hold hold, std::chrono::milliseconds ms = 0ms) {
  return OtherProgram(RFID_PCSC_HOLD, reader, hold, ms);
}

// Linux names the program that holds the reader; Windows does not look.
void ExpectHolderNamed(const std::string& log, [[maybe_unused]] const OtherProgram& other) {
#ifdef _WIN32
  EXPECT_EQ(log.find("(PID "), std::string::npos) << log;
#else
  EXPECT_NE(log.find("pcsc-hold (PID " + std::to_string(other.Pid()) + ")"), std::string::npos)
      << log;
#endif
}

TEST_F(RigTest, TimedOutExchangeNeverLandsLater) {
  VirtualCard& card = Inserted(CardType::Ultralight);
  ASSERT_EQ(Send(ReadBody(1)).substr(0, 2), "41");
  const Bytes a = Pattern(0xA0), b = Pattern(0x0B);
  card.ClearApdus();
  {
    // Another program keeps the card in a transaction for 4 s.
    OtherProgram other = Hold(kReader0, OtherProgram::Hold::Transaction, 4000ms);
    const auto start = Clock::now();
    EXPECT_EQ(Send(WriteFrameBody(1, a)), kInUse);
    EXPECT_LT(Seconds(start), 3.9);
    // Write A is still inside the service: B does not run beside it.
    const auto startB = Clock::now();
    EXPECT_EQ(Send(WriteFrameBody(1, b)), kBusy);
    EXPECT_LT(Seconds(startB), 0.5);
    ASSERT_TRUE(other.WaitForEnd(5s));
  }
  EXPECT_EQ(SendWhenFree(WriteFrameBody(1, b)), "410041");
  EXPECT_EQ(Send(ReadBody(1)), Success(Hex(b)));
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(BlockOf(card, 1), b);
  EXPECT_EQ(UpdatesCarrying(card, a), 0) << "write A reached the card after its failure reply";
}

TEST_F(RigTest, ReaderHeldExclusivelyByAnotherProgram) {
  VirtualCard& card = Inserted(CardType::Classic1K);
  OtherProgram other = Hold(kReader0, OtherProgram::Hold::Exclusive);
  ::testing::internal::CaptureStderr();
  const auto start = Clock::now();
  EXPECT_EQ(Send(ReadBody(1)), kInUse);
  EXPECT_LT(Seconds(start), 1.0);
  const std::string log = ::testing::internal::GetCapturedStderr();
  // The operator learns which reader and which program to close.
  EXPECT_NE(log.find(kReader0), std::string::npos) << log;
  EXPECT_NE(log.find("in use by another program"), std::string::npos) << log;
  ExpectHolderNamed(log, other);
  EXPECT_TRUE(card.Apdus().empty());
  other.Release();
  EXPECT_EQ(SendWhenFree(ReadBody(1)), Success(std::string(32, '0')));
}

TEST_F(RigTest, TransactionThatNeverEnds) {
  struct Row {
    const char* what;
    bool reinsert;  // the library's connection goes stale: it connects during the hold
  };
  const Row rows[] = {{"connected before the hold", false}, {"connecting during the hold", true}};
  VirtualCard& card = Inserted(CardType::Classic1K);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(Send(Detect14443Body()), Success("5A1B2C3D"));
    if (row.reinsert) {
      Remove(card);
      Insert(card);
    }
    const Bytes before = Memory(card);
    card.ClearApdus();
    OtherProgram other = Hold(kReader0, OtherProgram::Hold::Transaction);
    ::testing::internal::CaptureStderr();
    const auto start = Clock::now();
    EXPECT_EQ(Send(WriteFrameBody(1, Pattern(3))), kInUse);
    EXPECT_LT(Seconds(start), 3.9);
    // Later exchanges fail at once while the first still waits.
    for (const std::string& body : {ReadBody(1), Detect14443Body(), GoodBeepBody()}) {
      const auto at = Clock::now();
      EXPECT_EQ(Send(body), kBusy);
      EXPECT_LT(Seconds(at), 0.5);
    }
    const std::string log = ::testing::internal::GetCapturedStderr();
    ExpectHolderNamed(log, other);
    other.Release();
    EXPECT_EQ(SendWhenFree(ReadBody(1)), Success(std::string(32, '0')));
    EXPECT_EQ(Memory(card), before);
    EXPECT_EQ(UpdatesCarrying(card, Pattern(3)), 0);
  }
}

TEST_F(RigTest, BlocksBeyondAOneByteAddressAreRefused) {
  struct Row {
    CardType type;
    std::vector<int> blocks;
  };
  const Row rows[] = {{CardType::Ultralight, {64, 65, 128, 255}},
                      {CardType::Ntag215, {64, 200}},
                      {CardType::Iso15693, {64, 100, 255}}};
  for (const Row& row : rows) {
    VirtualCard& card = Inserted(row.type);
    ASSERT_EQ(Send(ReadBody(1)).substr(0, 2), "41");
    const Bytes before = Memory(card);
    for (int block : row.blocks) {
      SCOPED_TRACE("type " + std::to_string(int(row.type)) + " block " + std::to_string(block));
      card.ClearApdus();
      EXPECT_EQ(Send(WriteFrameBody(block, Pattern(7))), kRefused);
      EXPECT_EQ(Send(ReadBody(block)), kRefused);
      EXPECT_TRUE(card.Apdus().empty());
    }
    EXPECT_EQ(Memory(card), before);
    // The last block that still fits is sent as usual.
    EXPECT_NE(Send(ReadBody(63)), kRefused);
    Remove(card);
  }
}

TEST_F(RigTest, ReaderChosenByTheCardKind) {
  // A bank card on the first reader: not a storage card.
  VirtualCard& bank = NewCard(CardType::Classic1K);
  bank.With([](CardModel& m) { m.SetAtr({0x3B, 0x80, 0x80, 0x01, 0x01}); });
  Insert(bank, kVpcdPort0);
  EXPECT_EQ(Send(ReadBody(1)), FailureReply(0x0F));
  // The registration card, laid on the second reader later.
  VirtualCard& classic = Inserted(CardType::Classic1K, kVpcdPort1);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Send(Detect14443Body()), Success("5A1B2C3D"));
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find(kReader1), std::string::npos) << "the log says which reader served: " << log;
  EXPECT_EQ(Send(WriteFrameBody(1, Pattern(5))), "410041");
  EXPECT_EQ(BlockOf(classic, 1), Pattern(5));
  EXPECT_EQ(Send(ReadBody(1)), Success(Hex(Pattern(5))));
  EXPECT_TRUE(bank.Apdus().empty());

  // An ISO 15693 card in place of the bank card: each detect finds its kind.
  Remove(bank, kVpcdPort0);
  VirtualCard& vicinity = Inserted(CardType::Iso15693, kVpcdPort0);
  EXPECT_EQ(Send(Detect15693Body()), Success("E004010012345678"));
  EXPECT_EQ(Send(Detect14443Body()), Success("5A1B2C3D"));
  EXPECT_EQ(Send(Detect15693Body()), Success("E004010012345678"));
  // Both serve reads: the named reader wins.
  SetEnv("TQR_PCSC_READER", "00 01");
  EXPECT_EQ(Send(ReadBody(1)), Success(Hex(Pattern(5))));
  EXPECT_EQ(Send(Detect15693Body()), "4E0749");
  SetEnv("TQR_PCSC_READER", "00 00");
  EXPECT_EQ(Send(ReadBody(1)), Success(std::string(32, '0')));
  UnsetEnv("TQR_PCSC_READER");
  Remove(vicinity, kVpcdPort0);
  Remove(classic, kVpcdPort1);
}

TEST_F(RigTest, Classic4K) {
  VirtualCard& card = Inserted(CardType::Classic4K);
  EXPECT_EQ(Send(Detect14443Body()), Success("6E2F3041"));
  for (int block : {1, 126, 128, 142, 144, 254}) {
    SCOPED_TRACE(block);
    EXPECT_EQ(Send(WriteFrameBody(block, Pattern(std::uint8_t(block)))), "410041");
    EXPECT_EQ(BlockOf(card, block), Pattern(std::uint8_t(block)));
    EXPECT_EQ(Send(ReadBody(block)), Success(Hex(Pattern(std::uint8_t(block)))));
  }
  // Trailers of 4-block and of 16-block sectors, and the manufacturer block.
  const Bytes before = Memory(card);
  card.ClearApdus();
  for (int block : {0, 3, 127, 143, 159, 255}) {
    SCOPED_TRACE(block);
    EXPECT_EQ(Send(WriteFrameBody(block, Pattern(9))), kRefused);
  }
  EXPECT_TRUE(card.Apdus().empty());
  EXPECT_EQ(Memory(card), before);
  // A trailer reads, key A hidden.
  EXPECT_EQ(Send(ReadBody(255)), Success("000000000000FF078069FFFFFFFFFFFF"));
}

TEST_F(RigTest, Ntag215LockAndConfigurationPages) {
  VirtualCard& card = Inserted(CardType::Ntag215);
  EXPECT_EQ(Send(Detect14443Body()), Success("04516273849" "5A6"));
  for (int block : {1, 2, 31}) {
    SCOPED_TRACE(block);
    EXPECT_EQ(Send(WriteFrameBody(block, Pattern(std::uint8_t(block)))), "410041");
    EXPECT_EQ(Send(ReadBody(block)), Success(Hex(Pattern(std::uint8_t(block)))));
  }
  // Block 32: pages 128 to 131, the dynamic lock bytes and CFG0 with AUTH0.
  EXPECT_EQ(Send(ReadBody(32)), Success("0000000000000000" "000000BD" "040000FF"));
  const Bytes before = Memory(card);
  card.ClearApdus();
  for (int block : {0, 4, 9, 10, 11, 32, 33, 56, 57}) {
    SCOPED_TRACE(block);
    EXPECT_EQ(Send(WriteFrameBody(block, Pattern(9))), kRefused);
  }
  EXPECT_TRUE(card.Apdus().empty());
  EXPECT_EQ(Memory(card), before);
  // Past the card's 135 pages the card itself refuses.
  EXPECT_EQ(Send(WriteFrameBody(34, Pattern(9))), kCardError);
  EXPECT_EQ(Memory(card), before);
}

// A block written page by page and cut at any of its five APDUs (the first
// page marked FF FF FF FF, the other three, the first page's data) holds the
// old block or a marked one, never old and new mixed; put back, the write
// done again completes it.
TEST_F(RigTest, TornBlockWrite) {
  const Bytes oldData = Pattern(0x30), newData = Pattern(0x70);
  for (CardType type : {CardType::Ultralight, CardType::Iso15693}) {
    for (int at = 1; at <= 5; ++at) {
      SCOPED_TRACE("type " + std::to_string(int(type)) + ", taken away at APDU " +
                   std::to_string(at));
      VirtualCard& card = NewCard(type);
      card.With([&](CardModel& m) { m.Write(16, oldData); });
      Insert(card);
      ASSERT_EQ(Send(ReadBody(1)), Success(Hex(oldData)));
      card.RemoveOnApdu(at);
      EXPECT_FALSE(ReplyOk(Send(WriteFrameBody(1, newData))));
      ASSERT_TRUE(m_Rig->WaitForCard(kReader0, false));
      Bytes left = oldData;
      if (at > 1) {
        std::fill(left.begin(), left.begin() + 4, 0xFF);
        std::copy(newData.begin() + 4, newData.begin() + 4 * std::min(at - 1, 4), left.begin() + 4);
      }
      EXPECT_EQ(BlockOf(card, 1), left);
      Insert(card);
      EXPECT_EQ(SendWhenFree(ReadBody(1)), Success(Hex(left)));
      EXPECT_EQ(Send(WriteFrameBody(1, newData)), "410041");
      EXPECT_EQ(BlockOf(card, 1), newData);
      Remove(card);
    }
  }
}

// A page that answers past the time limit: the caller has its failure, and
// the block's other pages still follow, so the block holds the new data
// whole, never the new first page over old others.
TEST_F(RigTest, SlowPagePastTheTimeLimit) {
  const Bytes oldData = Pattern(0x30), newData = Pattern(0x70);
  for (CardType type : {CardType::Ultralight, CardType::Iso15693}) {
    SCOPED_TRACE(int(type));
    VirtualCard& card = NewCard(type);
    card.With([&](CardModel& m) { m.Write(16, oldData); });
    Insert(card);
    ASSERT_EQ(Send(ReadBody(1)), Success(Hex(oldData)));
    card.DelayOnApdu(1, 3500);
    EXPECT_EQ(Send(WriteFrameBody(1, newData)), FailureReply(0x0E));
    EXPECT_EQ(Send(ReadBody(1)), kBusy);
    EXPECT_EQ(SendWhenFree(ReadBody(1)), Success(Hex(newData)));
    EXPECT_EQ(BlockOf(card, 1), newData);
    Remove(card);
  }
}

}  // namespace
}  // namespace rfid::pcsc::rig
