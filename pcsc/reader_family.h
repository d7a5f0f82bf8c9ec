// What the readers of one maker's line document beyond the PC/SC
// storage-card commands, told by the reader's name as PC/SC lists it: how
// they take the MIFARE Classic key, how they beep, how they read ISO 15693
// blocks. pcsc/README.md lists the families and their sources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace rfid::pcsc {

// One way of putting the transport key into a reader (LOAD KEYS P1 and P2)
// and the key number that the authentication then names.
struct KeyForm {
  std::uint8_t p1 = 0;
  std::uint8_t p2 = 0;
  std::uint8_t keyNumber = 0;
  // The slot is EEPROM: it keeps what was loaded, and wears with each load.
  bool nonVolatile = false;
};

// Every form, in the order they are tried on a reader whose own is not
// known (its family's first).
std::span<const KeyForm> KeyForms();

enum class BeepKind {
  Plain,   // FF 00 40 through SCardTransmit
  Escape,  // E0 00 00 28 01 <duration> through SCardControl
  None,    // nothing documented that PC/SC can send
};

struct ReaderFamily {
  std::string_view name;
  std::size_t firstKeyForm = 0;  // an index into KeyForms()
  BeepKind beep = BeepKind::Plain;
  // ISO 15693 READ BINARY asks Le 00 (the whole block), not 04.
  bool vicinityLeZero = false;
  // ISO 15693 only through the maker's own commands: READ and UPDATE
  // BINARY are never sent to such a card.
  bool vicinityOwnCommands = false;
};

const ReaderFamily& FamilyOf(std::string_view readerName);
const ReaderFamily& GenericFamily();

}  // namespace rfid::pcsc
