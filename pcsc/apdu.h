// The PC/SC pseudo-APDUs for contactless storage cards, and the APDUs each
// frame turns into on each kind of card.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "card_kind.h"
#include "card_link.h"
#include "reader_family.h"
#include "reply.h"

namespace rfid::pcsc {

Bytes GetUid();
// The transport key A FF FF FF FF FF FF into the reader, in one of the forms
// readers document.
Bytes LoadTransportKey(const KeyForm& form);
Bytes AuthenticateKeyA(int block, std::uint8_t keyNumber);
Bytes ReadBinary(int address, int length);
Bytes UpdateBinary(int address, std::span<const std::uint8_t> data);
Bytes Buzzer(bool good);
// The buzzer as ACS's escape command, for SCardControl.
Bytes EscapeBuzzer(bool good);

inline constexpr std::size_t kAnyLength = std::size_t(-1);

struct Step {
  Bytes command;
  // Data bytes the response must carry before its status word.
  std::size_t dataLength = 0;
  // Success is 90 with any second byte (readers that report their LED
  // state there).
  bool anySw2 = false;
  // Sent through SCardControl as an escape command, not as an APDU.
  bool escape = false;
  // An Ultralight read of four pages from this page: a reader that answers
  // one page (4 bytes, whatever Le asks) gets the next three read one by one.
  int pagesFrom = -1;
};

struct Plan {
  std::vector<Step> steps;
  // The reply's data is what the steps returned, in order; a detect also
  // checks the UID's length.
  bool detect = false;
  // The MIFARE Classic block the steps need authenticated first (with the
  // key loaded as the reader takes it); -1: none.
  int authenticate = -1;
  // Once the step at this index is sent, the rest are sent even when the
  // caller has had its answer (the pages of one block).
  std::size_t finishFrom = std::size_t(-1);
};

struct Refusal {
  Failure failure;
  std::string why;
};

// The APDUs that carry out request on card on a reader of family, or why
// nothing may be sent.
std::variant<Plan, Refusal> PlanFor(const CheckedFrame& request, const CardInfo& card,
                                    const ReaderFamily& family = GenericFamily());

// Whether a UID of this many bytes belongs to the detected standard.
bool UidLengthFits(Standard standard, std::size_t length);

std::string HexBytes(std::span<const std::uint8_t> bytes, bool spaced);

}  // namespace rfid::pcsc
