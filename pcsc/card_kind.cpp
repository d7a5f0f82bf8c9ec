#include "card_kind.h"

#include <array>
#include <vector>

namespace rfid::pcsc {

namespace {

// Registered application provider of the PC/SC storage-card ATR.
constexpr std::array<std::uint8_t, 5> kPcscRid = {0xA0, 0x00, 0x00, 0x03, 0x06};

constexpr std::uint8_t kStandard14443A3 = 0x03;
// Standard bytes 09 to 0C name the four layers of ISO 15693. Readers give
// storage cards (ICODE, Tag-it, ...) 0B or 0C; an iCLASS badge comes as 0A
// on OMNIKEY readers.
constexpr std::uint8_t kStandard15693First = 0x09;
constexpr std::uint8_t kStandard15693Last = 0x0C;
constexpr std::uint8_t kStandard15693Storage = 0x0B;
// PicoPass, HID's iCLASS: no blocks of ours on it.
constexpr std::uint16_t kIclassFirst = 0x0017, kIclassLast = 0x0020;

// Historical bytes of an ATR, or nothing when its structure does not hold.
std::optional<std::vector<std::uint8_t>> HistoricalBytes(std::span<const std::uint8_t> atr) {
  if (atr.size() < 2 || (atr[0] != 0x3B && atr[0] != 0x3F)) return std::nullopt;
  const std::size_t count = atr[1] & 0x0F;
  std::uint8_t presence = atr[1] >> 4;
  std::size_t pos = 2;
  for (;;) {
    for (int bit = 0; bit < 3; ++bit)  // TA, TB, TC
      if (presence & (1 << bit)) ++pos;
    if (!(presence & 0x08)) break;  // no TD: interface bytes end here
    if (pos >= atr.size()) return std::nullopt;
    presence = atr[pos] >> 4;
    ++pos;
  }
  if (pos + count > atr.size()) return std::nullopt;
  return std::vector<std::uint8_t>(atr.begin() + std::ptrdiff_t(pos),
                                   atr.begin() + std::ptrdiff_t(pos + count));
}

}  // namespace

CardInfo IdentifyCard(std::span<const std::uint8_t> atr) {
  CardInfo info;
  const auto hist = HistoricalBytes(atr);
  // 80 4F <length> RID standard name(2) ...
  if (!hist || hist->size() < 11 || (*hist)[0] != 0x80 || (*hist)[1] != 0x4F ||
      (*hist)[2] < 8 || hist->size() < 3u + (*hist)[2])
    return info;
  for (std::size_t i = 0; i < kPcscRid.size(); ++i)
    if ((*hist)[3 + i] != kPcscRid[i]) return info;
  const std::uint8_t standard = (*hist)[8];
  info.name = std::uint16_t((*hist)[9] << 8 | (*hist)[10]);
  if (standard == kStandard14443A3) {
    info.standard = Standard::Iso14443A;
    switch (info.name) {
      case 0x0001: info.memory = Memory::Classic; info.classicBlocks = 64; break;
      case 0x0002: info.memory = Memory::Classic; info.classicBlocks = 256; break;
      case 0x0026: info.memory = Memory::Classic; info.classicBlocks = 20; break;
      // MIFARE Plus in security level 1 is a Classic card to the reader.
      case 0x0036: info.memory = Memory::Classic; info.classicBlocks = 128; break;
      case 0x0037: info.memory = Memory::Classic; info.classicBlocks = 256; break;
      case 0x0003:  // Ultralight, and NTAG as most readers name it
      case 0x003A:  // Ultralight C
      case 0x003D:  // Ultralight EV1
        info.memory = Memory::Ultralight;
        break;
      default: break;
    }
  } else if (standard >= kStandard15693First && standard <= kStandard15693Last) {
    info.standard = Standard::Iso15693;
    info.iclass = info.name >= kIclassFirst && info.name <= kIclassLast;
    if (standard >= kStandard15693Storage && !info.iclass) info.memory = Memory::Vicinity;
  }
  return info;
}

std::string CardInfo::Describe() const {
  switch (memory) {
    case Memory::Classic:
      if (name == 0x0036 || name == 0x0037)
        return classicBlocks == 128 ? "MIFARE Plus 2K (SL1)" : "MIFARE Plus 4K (SL1)";
      return classicBlocks == 20 ? "MIFARE Mini" : classicBlocks == 64 ? "MIFARE Classic 1K"
                                                                        : "MIFARE Classic 4K";
    case Memory::Ultralight: return "MIFARE Ultralight / NTAG";
    case Memory::Vicinity: return "ISO 15693";
    case Memory::Unknown: break;
  }
  if (iclass) return "iCLASS card";
  if (standard == Standard::Iso15693) return "ISO 15693 card of unknown layout";
  return standard == Standard::Iso14443A ? "ISO 14443A card of unknown layout"
                                         : "not a contactless storage card";
}

std::optional<std::string> WriteRefusal(const CardInfo& card, int block) {
  switch (card.memory) {
    case Memory::Classic: {
      if (block == 0) return "block 0 holds the manufacturer data";
      // A 4K card's sectors 32 to 39 have 16 blocks each.
      const bool trailer = card.classicBlocks == 256 && block >= 128 ? block % 16 == 15
                                                                      : block % 4 == 3;
      if (trailer) return "block " + std::to_string(block) + " is a sector trailer (keys and access bits)";
      return std::nullopt;
    }
    case Memory::Ultralight:
      if (block == 0) return "block 0 is pages 0 to 3: UID, lock and OTP bytes";
      // Pages with lock, configuration or key bytes in the Ultralight EV1,
      // Ultralight C, Ultralight AES (keys at pages 30h to 3Bh), NTAG21x and
      // NTAG I2C (configuration registers at E8h to E9h, session registers at
      // ECh to EDh) sizes; readers name most of them alike, so all are kept.
      switch (block) {
        case 4: case 9: case 10: case 11: case 12: case 13: case 14: case 32: case 33:
        case 56: case 57: case 58: case 59:
          return "block " + std::to_string(block) +
                 " can hold lock or configuration pages of an Ultralight or NTAG card";
        default: return std::nullopt;
      }
    case Memory::Vicinity:
    case Memory::Unknown:
      break;
  }
  return std::nullopt;
}

}  // namespace rfid::pcsc
