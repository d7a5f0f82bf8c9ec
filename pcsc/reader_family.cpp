#include "reader_family.h"

#include <array>

namespace rfid::pcsc {

namespace {

// The forms the makers' manuals give, most readers' first.
constexpr std::array<KeyForm, 4> kForms = {{
    {0x00, 0x00, 0x00, false},  // volatile slot 00, the PC/SC storage-card form; ACS ACR122U, ACR1252U; Feitian
    {0x00, 0x20, 0x20, false},  // ACS ACR128x: 20 is the volatile session key, 00-1F EEPROM
    {0x00, 0x60, 0x01, false},  // Identiv uTrust / SCM: P2 the key type, the key then number 01
    {0x20, 0x00, 0x00, true},   // HID OMNIKEY: volatile load answered 69 86; non-volatile slot 00
}};
constexpr std::size_t kAcr128 = 1, kIdentiv = 2, kOmnikey = 3;

struct Entry {
  std::array<std::string_view, 5> names;  // parts of the reader's name
  ReaderFamily family;
};

const Entry kFamilies[] = {
    {{"ACR122"}, {"ACS ACR122U", 0, BeepKind::Plain}},
    // Their references list FF 00 40 among the ACR122U's commands: no
    // driver option needed, unlike their escape command.
    {{"ACR1252", "ACR1255"}, {"ACS ACR1252U / ACR1255U", 0, BeepKind::Plain}},
    {{"ACR1281", "ACR1283"}, {"ACS ACR1281U / ACR1283L", kAcr128, BeepKind::Escape}},
    {{"OMNIKEY"}, {"HID OMNIKEY", kOmnikey, BeepKind::None, true}},
    {{"uTrust", "Identiv", "SCM Microsystems", "SCL3711", "SCL01"},
     {"Identiv uTrust / SCM", kIdentiv, BeepKind::None, false, true}},
    {{"Feitian", "FEITIAN", "R502"}, {"Feitian R502", 0, BeepKind::None, true}},
};

const ReaderFamily kGeneric{"PC/SC storage-card reader", 0, BeepKind::Plain};

}  // namespace

std::span<const KeyForm> KeyForms() { return kForms; }

const ReaderFamily& GenericFamily() { return kGeneric; }

const ReaderFamily& FamilyOf(std::string_view readerName) {
  for (const Entry& entry : kFamilies)
    for (std::string_view part : entry.names)
      if (!part.empty() && readerName.find(part) != std::string_view::npos) return entry.family;
  return kGeneric;
}

}  // namespace rfid::pcsc
