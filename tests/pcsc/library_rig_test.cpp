// The PC/SC reader library, bound by path as the console binds a library,
// against pcscd, vpcd and the rig's virtual cards.
#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "rig_fixture.h"

namespace rfid::pcsc::rig {
namespace {

using Clock = std::chrono::steady_clock;


double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

TEST(DeviceFind, NoServiceRunning) {
  RFID_REQUIRE_RIG();
  RigLock lock;
  ClearStalePcscd();
  EXPECT_EQ(PcscLibrary().DeviceFind(), 0);
  EXPECT_EQ(Send(Detect14443Body()), "4E0A44");
}

TEST(DeviceFind, ServiceWithoutReaders) {
  RFID_REQUIRE_RIG();
  PcscRig rig(PcscRig::Readers::None);
  EXPECT_EQ(PcscLibrary().DeviceFind(), 0);
  EXPECT_EQ(Send(Detect14443Body()), "4E0A44");
}

// Windows' ANSI calls fail the whole reader list for a name the code page
// cannot hold (Wine's runs in 1252 here).
TEST(DeviceFind, ReaderNamedOutsideTheCodePage) {
  RFID_REQUIRE_RIG();
  const std::string name = "Virtual PCD 카드";
  PcscRig rig(PcscRig::Readers::Virtual, name);
  VirtualCard card(CardType::Classic1K);
  card.Insert();
  ASSERT_TRUE(rig.WaitForCard(name + " 00 00", true)) << rig.Log();
  EXPECT_NE(PcscLibrary().DeviceFind(), 0);
  SetEnv("TQR_PCSC_READER", "카드 00 00");
  EXPECT_EQ(Send(Detect14443Body()), Success("5A1B2C3D"));
  UnsetEnv("TQR_PCSC_READER");
}

TEST_F(RigTest, DeviceFoundUntilTheServiceStops) {
  EXPECT_NE(PcscLibrary().DeviceFind(), 0);  // readers, no card needed
  m_Rig->Stop();
  EXPECT_EQ(PcscLibrary().DeviceFind(), 0);
}

TEST_F(RigTest, DetectEachKind) {
  struct Row {
    const char* what;
    CardType type;
    std::string body;
    std::string reply;
  };
  const Row rows[] = {
      {"Classic 1K", CardType::Classic1K, Detect14443Body(), Success("5A1B2C3D")},
      {"Ultralight, 7-byte UID", CardType::Ultralight, Detect14443Body(),
       Success("04A2B3C4D5E6F7")},
      {"ISO 15693", CardType::Iso15693, Detect15693Body(), Success("E004010012345678")},
      {"15693 detect on Classic", CardType::Classic1K, Detect15693Body(), "4E0749"},
      {"15693 detect on Ultralight", CardType::Ultralight, Detect15693Body(), "4E0749"},
      {"14443A detect on 15693", CardType::Iso15693, Detect14443Body(), "4E0749"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VirtualCard& card = Inserted(row.type);
    EXPECT_EQ(Send(row.body), row.reply);
    Remove(card);
  }
  // Readers name ISO 15693 by any of its four standard bytes.
  for (std::uint8_t standard : {0x09, 0x0A, 0x0B, 0x0C}) {
    SCOPED_TRACE(int(standard));
    VirtualCard& card = NewCard(CardType::Iso15693);
    card.With([&](CardModel& m) { m.SetAtr(StorageAtr(standard, 0x0014)); });
    Insert(card);
    EXPECT_EQ(Send(Detect15693Body()), Success("E004010012345678"));
    Remove(card);
  }
}

TEST_F(RigTest, ReadAndWriteRoundTrips) {
  struct Row {
    CardType type;
    std::vector<int> blocks;
  };
  const Row rows[] = {
      {CardType::Classic1K, {1, 2, 62}},
      {CardType::Ultralight, {1, 2, 3}},
      {CardType::Iso15693, {1, 6}},
  };
  for (const Row& row : rows) {
    VirtualCard& card = Inserted(row.type);
    for (int block : row.blocks) {
      SCOPED_TRACE("type " + std::to_string(int(row.type)) + " block " + std::to_string(block));
      const std::size_t at = std::size_t(block) * 16;
      const Bytes data = Pattern(std::uint8_t(block));
      EXPECT_EQ(Send(WriteFrameBody(block, data)), "410041");
      EXPECT_EQ(card.With([&](CardModel& m) { return m.Read(at, 16); }), data);
      EXPECT_EQ(Send(ReadBody(block)), Success(Hex(data)));
      // What is on the card, however it got there, is what a read returns.
      const Bytes other = Pattern(std::uint8_t(block + 100));
      card.With([&](CardModel& m) { m.Write(at, other); });
      EXPECT_EQ(Send(ReadBody(block)), Success(Hex(other)));
    }
    // The console's write of registration number 12345.
    EXPECT_EQ(Send(WriteBody(1, "0000012345AAAAAA")), "410041");
    EXPECT_EQ(Hex(card.With([](CardModel& m) { return m.Read(16, 16); })),
              "0000012345AAAAAA2020202020202020");
    Remove(card);
  }
}

// Each reader family as its manual documents it (rig/virtual_card.cpp) with
// each card kind: success exactly when the card holds the block, a refused
// card untouched, the key loaded once per connection, and an EEPROM slot
// that holds the key already never written again.
TEST_F(RigTest, ReaderFamilies) {
  const struct {
    const char* name;
    CardType type;
    std::function<void(CardModel&)> prepare;
  } kinds[] = {
      {"1K", CardType::Classic1K, nullptr},
      {"4K", CardType::Classic4K, nullptr},
      {"NTAG", CardType::Ntag215, nullptr},
      {"15693", CardType::Iso15693, nullptr},
      {"iCLASS", CardType::Iso15693, [](CardModel& m) { m.SetAtr(StorageAtr(0x0A, 0x001C)); }},
      {"8-byte", CardType::Iso15693, [](CardModel& m) { m.SetVicinityBlockBytes(8); }},
  };
  // The kinds each family writes and reads, and its beep's reply (the
  // ACR1281's escape command needs a driver option, which vpcd has not).
  const std::string beeps = Success(""), none = FailureReply(Failure::NoBeep);
  const std::map<std::string, std::pair<std::string, std::string>> expected = {
      {"Virtual PCD", {"1K 4K NTAG 15693", beeps}},
      {"ACS ACR122U PICC Interface", {"1K 4K NTAG", beeps}},
      {"ACS ACR1252 1S CL Reader PICC", {"1K 4K NTAG", beeps}},
      {"ACS ACR1281 1S Dual Reader PICC", {"1K 4K NTAG", FailureReply(Failure::CardError)}},
      {"HID Global OMNIKEY 5422CL Smartcard Reader", {"1K 4K NTAG 15693", none}},
      {"Identiv uTrust 3700 F CL Reader", {"1K 4K NTAG", none}},
      {"Feitian R502 CL", {"1K 4K NTAG 15693", none}},
      {"FT R502B Contactless", {"NTAG 15693", none}},
  };
  for (const ReaderProfile& profile : ReaderProfiles()) {
    SCOPED_TRACE(profile.name);
    m_Rig.reset();
    m_Rig = std::make_unique<PcscRig>(PcscRig::Readers::Virtual, profile.name);
    const std::string reader = std::string(profile.name) + " 00 00";
    SetEnv("TQR_PCSC_READER", profile.name);  // its detects pin no reader for later tests
    const auto& [works, beep] = expected.at(profile.name);
    for (const auto& kind : kinds) {
      const bool vicinity = kind.type == CardType::Iso15693;
      if (vicinity && profile.vicinity == ReaderProfile::Vicinity::NotRead) continue;
      SCOPED_TRACE(kind.name);
      const bool worked = (" " + works + " ").find(std::string(" ") + kind.name + " ") != std::string::npos;
      m_Cards.push_back(std::make_unique<VirtualCard>(kind.type, profile));
      VirtualCard& card = *m_Cards.back();
      if (kind.prepare) card.With(kind.prepare);
      const auto put = [&](bool on) {
        on ? card.Insert() : card.Remove();
        ASSERT_TRUE(m_Rig->WaitForCard(reader, on)) << m_Rig->Log();
      };
      put(true);
      EXPECT_TRUE(ReplyOk(Send(vicinity ? Detect15693Body() : Detect14443Body())));
      const Bytes before = Memory(card), data = Pattern(7);
      const bool wrote = ReplyOk(Send(WriteFrameBody(1, data)));
      const std::string read = Send(ReadBody(1));
      const Bytes block = card.With([](CardModel& m) { return m.Read(16, 16); });
      EXPECT_EQ(wrote, block == data);
      EXPECT_TRUE(wrote || Memory(card) == before);
      EXPECT_EQ(ReplyOk(read), read == Success(Hex(block)));
      EXPECT_EQ(wrote && ReplyOk(read), worked) << read;
      EXPECT_EQ(Send(GoodBeepBody()), beep);
      const auto loads = [&] {
        const auto apdus = card.Apdus();
        return std::count_if(apdus.begin(), apdus.end(), [](const Bytes& a) { return a[1] == 0x82; });
      };
      EXPECT_TRUE(!worked || loads() <= 1);
      EXPECT_TRUE(worked || kind.type != CardType::Classic1K || read == FailureReply(Failure::KeyLoad));
      if (kind.type == CardType::Classic1K && wrote) {
        // A new connection loads the key again, but into EEPROM only when
        // the slot lacks it.
        put(false);
        card.ClearApdus();
        put(true);
        EXPECT_EQ(Send(ReadBody(1)), Success(Hex(data)));
        EXPECT_EQ(loads(), profile.keys.front().p1 == 0x20 ? 0 : 1);
      }
      put(false);
    }
  }
  UnsetEnv("TQR_PCSC_READER");
}

TEST_F(RigTest, RefusedWritesSendNothing) {
  struct Row {
    CardType type;
    std::vector<int> blocks;
  };
  const Row rows[] = {{CardType::Classic1K, {0, 3, 7, 63}}, {CardType::Ultralight, {0, 10}}};
  for (const Row& row : rows) {
    VirtualCard& card = Inserted(row.type);
    ASSERT_EQ(Send(ReadBody(1)).substr(0, 2), "41");  // connected, the card answers
    const Bytes before = Memory(card);
    for (int block : row.blocks) {
      SCOPED_TRACE(block);
      card.ClearApdus();
      EXPECT_EQ(Send(WriteFrameBody(block, Pattern(9))), "4E0C42");
      EXPECT_TRUE(card.Apdus().empty());
    }
    EXPECT_EQ(Memory(card), before);
    Remove(card);
  }
}

TEST_F(RigTest, FailedAuthentication) {
  VirtualCard& card = Inserted(CardType::Classic1K);
  card.With([](CardModel& m) { m.SetKeyA(0, Bytes(6, 0x12)); });
  const Bytes before = Memory(card);
  EXPECT_EQ(Send(ReadBody(1)), "4E0B45");
  // LOAD KEYS and the refused GENERAL AUTHENTICATE; no read after it.
  ASSERT_EQ(card.Apdus().size(), 2u);
  EXPECT_EQ(card.Apdus()[1][1], 0x86);
  EXPECT_EQ(Send(WriteFrameBody(2, Pattern(1))), "4E0B45");
  EXPECT_EQ(Memory(card), before);
  // Sector 1 still has the transport key.
  EXPECT_EQ(Send(ReadBody(4)), Success(std::string(32, '0')));
}

TEST_F(RigTest, CardRefusesTheCommand) {
  struct Row {
    CardType type;
    std::string body;
    std::function<void(CardModel&)> prepare;
  };
  const auto lockPages4To7 = [](CardModel& m) { m.Write(10, {0xF0}); };
  const Row rows[] = {
      {CardType::Classic1K, ReadBody(64), nullptr},
      {CardType::Classic1K, WriteFrameBody(64, Pattern(1)), nullptr},
      {CardType::Ultralight, ReadBody(4), nullptr},  // page 16 of a 16-page card
      {CardType::Ultralight, WriteFrameBody(5, Pattern(1)), nullptr},
      {CardType::Ultralight, WriteFrameBody(1, Pattern(1)), lockPages4To7},
      {CardType::Iso15693, ReadBody(7), nullptr},  // blocks 28 to 31 of 28
      {CardType::Iso15693, WriteFrameBody(7, Pattern(1)), nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.body);
    VirtualCard& card = NewCard(row.type);
    if (row.prepare) card.With(row.prepare);
    Insert(card);
    const Bytes before = Memory(card);
    EXPECT_EQ(Send(row.body), "4E0B45");
    EXPECT_EQ(Memory(card), before);
    Remove(card);
  }
}

TEST_F(RigTest, CardRemovedBeforeAnExchange) {
  VirtualCard& card = Inserted(CardType::Classic1K);
  ASSERT_EQ(Send(Detect14443Body()), Success("5A1B2C3D"));
  Remove(card);
  EXPECT_EQ(Send(ReadBody(1)), "4E0648");
  EXPECT_EQ(Send(Detect14443Body()), "4E0648");
  Insert(card);  // the next exchange connects again
  EXPECT_EQ(Send(ReadBody(1)), Success(std::string(32, '0')));
}

TEST_F(RigTest, CardRemovedInTheMiddleOfAnExchange) {
  struct Row {
    const char* what;
    CardType type;
    std::string body;
    int at;  // the APDU that finds the card gone
  };
  const Row rows[] = {
      // The key is loaded already: once a connection.
      {"Classic read, at the authentication", CardType::Classic1K, ReadBody(1), 1},
      {"Classic write, at the update", CardType::Classic1K, WriteFrameBody(1, Pattern(3)), 2},
      {"Ultralight write, third page", CardType::Ultralight, WriteFrameBody(1, Pattern(3)), 3},
      {"15693 read, second block", CardType::Iso15693, ReadBody(1), 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VirtualCard& card = Inserted(row.type);
    ASSERT_EQ(Send(ReadBody(2)).substr(0, 2), "41");
    card.ClearApdus();
    card.RemoveOnApdu(row.at);
    const std::string reply = Send(row.body);
    EXPECT_FALSE(ReplyOk(reply)) << reply;
    EXPECT_EQ(card.Apdus().size(), std::size_t(row.at));
    ASSERT_TRUE(m_Rig->WaitForCard(kReader0, false));
    EXPECT_EQ(Send(ReadBody(2)), "4E0648");
    Insert(card);
    EXPECT_EQ(Send(ReadBody(2)).substr(0, 2), "41");
    Remove(card);
  }
}

TEST_F(RigTest, CardThatStopsAnsweringFailsWithinTheTimeLimit) {
  VirtualCard& card = Inserted(CardType::Classic1K);
  ASSERT_EQ(Send(Detect14443Body()), Success("5A1B2C3D"));
  card.SetMute(true);
  const auto start = Clock::now();
  EXPECT_EQ(Send(ReadBody(1)), "4E0E40");
  EXPECT_LT(Seconds(start), 3.5);
  // The read still hangs in the service: later exchanges fail at once,
  // nothing sent.
  card.ClearApdus();
  for (const std::string& body : {ReadBody(1), Detect14443Body()}) {
    const auto at = Clock::now();
    EXPECT_EQ(Send(body), "4E125C");
    EXPECT_LT(Seconds(at), 0.5);
  }
  EXPECT_TRUE(card.Apdus().empty());
  // The service still answers other calls meanwhile.
  EXPECT_NE(PcscLibrary().DeviceFind(), 0);
  // Taken away, the card ends the hanging read; put back, it serves again.
  Remove(card);
  card.SetMute(false);
  Insert(card);
  std::string reply = Send(ReadBody(1));
  for (int i = 0; i < 100 && reply == "4E125C"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    reply = Send(ReadBody(1));
  }
  EXPECT_EQ(reply, Success(std::string(32, '0')));
}

TEST_F(RigTest, Beeps) {
  VirtualCard& card = Inserted(CardType::Classic1K);
  EXPECT_EQ(Send(GoodBeepBody()), "410041");
  EXPECT_EQ(Send(ErrorBeepBody()), "410041");
  EXPECT_EQ(card.With([](CardModel& m) { return m.Beeps(); }), 2);
  // Readers that report their LED state in the second status byte.
  card.With([](CardModel& m) { m.SetBuzzerStatus(0x9002); });
  EXPECT_EQ(Send(GoodBeepBody()), "410041");
  card.With([](CardModel& m) { m.SetBuzzerStatus(0x6A81); });
  EXPECT_EQ(Send(GoodBeepBody()), "4E0B45");
}

TEST_F(RigTest, FrameChecks) {
  VirtualCard& card = Inserted(CardType::Classic1K);
  ASSERT_EQ(Send(Detect14443Body()), Success("5A1B2C3D"));
  card.ClearApdus();
  struct Row {
    const char* what;
    std::string frame;
    std::string reply;
  };
  const Row rows[] = {
      {"short", "4301202020202020202020202020202020202", "4E014F"},
      {"long", "430120202020202020202020202020202020420", "4E014F"},
      {"empty", "", "4E014F"},
      {"not hex", "5201202020202020202020202020202020Z053", "4E024C"},
      {"check byte", "52012020202020202020202020202020202054", "4E034D"},
      {"command", "53012020202020202020202020202020202052", "4E044A"},
      {"parameter", "44032020202020202020202020202020202047", "4E054B"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(SendFrame(row.frame), row.reply);
  }
  EXPECT_TRUE(card.Apdus().empty());
  // No frame at all.
  char receive[41] = {};
  PcscLibrary().DataTransceiveEx(nullptr, receive);
  EXPECT_STREQ(receive, "4E014F");
}

TEST_F(RigTest, SeveralReaders) {
  VirtualCard& classic = Inserted(CardType::Classic1K, kVpcdPort1);
  // The first reader that holds a card.
  EXPECT_EQ(Send(Detect14443Body()), Success("5A1B2C3D"));
  Inserted(CardType::Iso15693, kVpcdPort0);
  SetEnv("TQR_PCSC_READER", "00 00");
  EXPECT_EQ(Send(Detect15693Body()), Success("E004010012345678"));
  SetEnv("TQR_PCSC_READER", "00 01");
  EXPECT_EQ(Send(Detect14443Body()), Success("5A1B2C3D"));
  EXPECT_NE(PcscLibrary().DeviceFind(), 0);
  SetEnv("TQR_PCSC_READER", "no such reader");
  EXPECT_EQ(Send(Detect14443Body()), "4E0A44");
  EXPECT_EQ(PcscLibrary().DeviceFind(), 0);
  UnsetEnv("TQR_PCSC_READER");
  Remove(classic, kVpcdPort1);
}

TEST_F(RigTest, DebugSwitchTracesApdus) {
  Inserted(CardType::Classic1K);
  SetEnv("TQR_PCSC_DEBUG", "1");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Send(Detect14443Body()), Success("5A1B2C3D"));
  const std::string traced = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(traced.find("> FF CA 00 00 00"), std::string::npos) << traced;
  EXPECT_NE(traced.find("< 5A 1B 2C 3D SW 90 00"), std::string::npos) << traced;
  SetEnv("TQR_PCSC_DEBUG", "0");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Send(Detect14443Body()), Success("5A1B2C3D"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  UnsetEnv("TQR_PCSC_DEBUG");
}

}  // namespace
}  // namespace rfid::pcsc::rig
