// What a card is, told from the ATR a PC/SC reader builds for contactless
// storage cards, and how its memory is laid out.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace rfid::pcsc {

enum class Standard { Unknown, Iso14443A, Iso15693 };

enum class Memory {
  Unknown,
  Classic,     // 16-byte blocks in sectors behind key A
  Ultralight,  // 4-byte pages, Ultralight and NTAG
  Vicinity,    // ISO 15693, 4-byte blocks
};

struct CardInfo {
  Standard standard = Standard::Unknown;
  Memory memory = Memory::Unknown;
  std::uint16_t name = 0;  // the card name bytes of the ATR
  int classicBlocks = 0;   // 20 Mini, 64 1K, 128 Plus 2K, 256 4K
  bool iclass = false;     // HID iCLASS (PicoPass)
  std::string Describe() const;
};

CardInfo IdentifyCard(std::span<const std::uint8_t> atr);

// Why writing 16 bytes into block would spoil the card for good, or nullopt
// when the write may go ahead.
std::optional<std::string> WriteRefusal(const CardInfo& card, int block);

}  // namespace rfid::pcsc
