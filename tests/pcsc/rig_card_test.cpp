// The rig's virtual cards answer as the cards and readers they stand for:
// raw APDUs, no reader service.
#include <gtest/gtest.h>

#include "frame.h"
#include "hex.h"
#include "virtual_card.h"

namespace rfid::pcsc::rig {
namespace {

using testing::FromHex;

using testing::ToHex;

struct Exchange {
  const char* apdu;
  const char* response;
};

void Play(CardType type, const std::vector<Exchange>& script) {
  CardModel card(type);
  for (const Exchange& e : script) EXPECT_EQ(ToHex(card.Respond(FromHex(e.apdu))), e.response) << e.apdu;
}

const char* kLoadKey = "FF82000006FFFFFFFFFFFF";

TEST(RigCard, Classic1K) {
  Play(CardType::Classic1K, {
      {"FFCA000000", "5A1B2C3D9000"},
      {"FFCA000004", "5A1B2C3D9000"},
      {"FFCA000007", "6C04"},
      {"FFCA010000", "6A81"},
      {"FFB0000110", "6982"},  // not authenticated
      {kLoadKey, "9000"},
      {"FF82000005FFFFFFFFFF", "6700"},  // Lc 5 for a key of 6
      {"FF860000050100016000", "9000"},
      {"FFB0000110", "000000000000000000000000000000009000"},
      {"FFB000010F", "6C10"},
      {"FFB0000410", "6982"},  // another sector
      {"FFB0000310", "000000000000FF078069FFFFFFFFFFFF9000"},  // key A never reads
      {"FFD600010F000102030405060708090A0B0C0D0E", "6700"},
      {"FFD6000110000102030405060708090A0B0C0D0E0F", "9000"},
      {"FFB0000110", "000102030405060708090A0B0C0D0E0F9000"},
      {"FF860000050100006000", "9000"},
      {"FFD6000010000102030405060708090A0B0C0D0E0F", "6300"},  // manufacturer block
      {"FF860000050100406000", "6300"},  // no sector 16
      {"FFB0000110", "6982"},  // a failed authentication leaves none
      {"FFB0004010", "6A82"},
  });
}

TEST(RigCard, Classic1KWrongKey) {
  CardModel card(CardType::Classic1K);
  card.SetKeyA(0, Bytes(6, 0x12));
  EXPECT_EQ(ToHex(card.Respond(FromHex(kLoadKey))), "9000");
  EXPECT_EQ(ToHex(card.Respond(FromHex("FF860000050100016000"))), "6300");
  EXPECT_EQ(ToHex(card.Respond(FromHex("FF860000050100046000"))), "9000");
  card.Reset();
  EXPECT_EQ(ToHex(card.Respond(FromHex("FFB0000410"))), "6982");
}

TEST(RigCard, Ultralight) {
  Play(CardType::Ultralight, {
      {"FFCA000000", "04A2B3C4D5E6F79000"},
      {"FFB0000010", "04A2B39D" "C4D5E6F7" "00480000" "00000000" "9000"},
      {"FFB0000E10", "0000000000000000" "04A2B39D" "C4D5E6F7" "9000"},  // rolls over
      {"FFB0001010", "6A82"},
      {"FFB0000404", "6C10"},
      {"FFD600040401020304", "9000"},
      {"FFD600040501020304FF", "6700"},
      {"FFD6000410000102030405060708090A0B0C0D0E0F", "6700"},
      {"FFD600000401020304", "6300"},  // UID
      {"FFD600100401020304", "6A82"},
      {"FFD600020400001000", "9000"},  // lock bit of page 4
      {"FFD600040405060708", "6300"},
      {"FFB0000410", "010203040000000000000000000000009000"},
      {"FF860000050100046000", "6300"},
  });
}

TEST(RigCard, Iso15693) {
  Play(CardType::Iso15693, {
      {"FFCA000000", "E0040100123456789000"},
      {"FFD6001B0401020304", "9000"},
      {"FFB0001B04", "010203049000"},
      {"FFB0001C04", "6A82"},
      {"FFB0000010", "6C04"},
      {"FFD6000010000102030405060708090A0B0C0D0E0F", "6700"},
  });
}

TEST(RigCard, ReaderCommands) {
  Play(CardType::Classic1K, {
      {"FF0040A00401010101", "9000"},
      {"FF0040A003010101", "6700"},
      {"FF0041A00401010101", "6B00"},
      {"00A4040000", "6E00"},
      {"FFA4000000", "6D00"},
      {"FFB0", "6700"},
  });
}

TEST(RigCard, StorageAtrChecksum) {
  const Bytes atr = StorageAtr(0x03, 0x0001);
  EXPECT_EQ(ToHex(atr), "3B8F8001804F0CA000000306030001000000006A");
}

}  // namespace
}  // namespace rfid::pcsc::rig
