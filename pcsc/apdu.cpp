#include "apdu.h"

#include <algorithm>
#include <array>

#include "frame.h"

namespace rfid::pcsc {

namespace {
constexpr std::uint8_t kClass = 0xFF;
constexpr std::uint8_t kKeyA = 0x60;
constexpr int kBlockBytes = 16;
constexpr int kPageBytes = 4;  // Ultralight pages and ISO 15693 blocks
constexpr int kPagesPerBlock = kBlockBytes / kPageBytes;
constexpr std::array<std::uint8_t, kPageBytes> kTornMark = {0xFF, 0xFF, 0xFF, 0xFF};

// Le of an ISO 15693 block read: 00 (the whole block) where the reader
// documents it.
int VicinityLe(const ReaderFamily& family) { return family.vicinityLeZero ? 0 : kPageBytes; }

Plan ReadPlan(const CardInfo& card, const ReaderFamily& family, int block) {
  Plan plan;
  switch (card.memory) {
    case Memory::Classic:
      plan.authenticate = block;
      plan.steps = {{ReadBinary(block, kBlockBytes), kBlockBytes}};
      break;
    case Memory::Ultralight: {  // one read returns four pages
      const int page = block * kPagesPerBlock;
      Step step{ReadBinary(page, kBlockBytes), kBlockBytes};
      step.pagesFrom = page;
      plan.steps = {step};
      break;
    }
    case Memory::Vicinity:
      for (int i = 0; i < kPagesPerBlock; ++i)
        plan.steps.push_back(
            {ReadBinary(block * kPagesPerBlock + i, VicinityLe(family)), kPageBytes});
      break;
    case Memory::Unknown:
      break;
  }
  return plan;
}

Plan WritePlan(const CardInfo& card, int block, std::span<const std::uint8_t> data) {
  Plan plan;
  switch (card.memory) {
    case Memory::Classic:
      plan.authenticate = block;
      plan.steps = {{UpdateBinary(block, data)}};
      break;
    case Memory::Ultralight:
    case Memory::Vicinity: {
      const int first = block * kPagesPerBlock;
      // Four page writes. The first page is marked with bytes no number has,
      // the other pages follow, the first page's data comes last: a write
      // cut anywhere leaves the old block, the new one, or a marked block
      // that reads as no number.
      const auto page = [&](int i) { return data.subspan(std::size_t(i * kPageBytes), kPageBytes); };
      plan.steps.push_back({UpdateBinary(first, kTornMark)});
      for (int i = 1; i < kPagesPerBlock; ++i) plan.steps.push_back({UpdateBinary(first + i, page(i))});
      plan.steps.push_back({UpdateBinary(first, page(0))});
      plan.finishFrom = 0;
      break;
    }
    case Memory::Unknown:
      break;
  }
  return plan;
}
}  // namespace

Bytes GetUid() { return {kClass, 0xCA, 0x00, 0x00, 0x00}; }

Bytes LoadTransportKey(const KeyForm& form) {
  return {kClass, 0x82, form.p1, form.p2, 0x06, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
}

Bytes AuthenticateKeyA(int block, std::uint8_t keyNumber) {
  return {kClass, 0x86, 0x00, 0x00, 0x05, 0x01, 0x00, std::uint8_t(block), kKeyA, keyNumber};
}

Bytes ReadBinary(int address, int length) {
  return {kClass, 0xB0, std::uint8_t(address >> 8), std::uint8_t(address), std::uint8_t(length)};
}

Bytes UpdateBinary(int address, std::span<const std::uint8_t> data) {
  Bytes apdu(5 + data.size());
  apdu[0] = kClass;
  apdu[1] = 0xD6;
  apdu[2] = std::uint8_t(address >> 8);
  apdu[3] = std::uint8_t(address);
  apdu[4] = std::uint8_t(data.size());
  std::copy(data.begin(), data.end(), apdu.begin() + 5);
  return apdu;
}

Bytes Buzzer(bool good) {
  // LED control byte: green blinks for good, red for error; the buzzer sounds
  // for the first blink, 100 ms or 500 ms.
  if (good) return {kClass, 0x00, 0x40, 0xA0, 0x04, 0x01, 0x01, 0x01, 0x01};
  return {kClass, 0x00, 0x40, 0x50, 0x04, 0x05, 0x01, 0x01, 0x01};
}

Bytes EscapeBuzzer(bool good) {
  // Duration in 10 ms: the same 100 ms and 500 ms.
  return {0xE0, 0x00, 0x00, 0x28, 0x01, std::uint8_t(good ? 10 : 50)};
}

bool UidLengthFits(Standard standard, std::size_t length) {
  switch (standard) {
    case Standard::Iso14443A: return length == 4 || length == 7 || length == 10;
    case Standard::Iso15693: return length == 8;
    case Standard::Unknown: break;
  }
  return false;
}

std::variant<Plan, Refusal> PlanFor(const CheckedFrame& request, const CardInfo& card,
                                    const ReaderFamily& family) {
  switch (request.command) {
    case Command::Detect: {
      const Standard wanted = request.parameter == 1 ? Standard::Iso14443A : Standard::Iso15693;
      if (card.standard != wanted)
        return Refusal{Failure::OtherKind, "the card is " + card.Describe()};
      Plan plan;
      plan.steps = {{GetUid(), kAnyLength}};
      plan.detect = true;
      return plan;
    }
    case Command::Beep: {
      Plan plan;
      const bool good = request.parameter == 1;
      switch (family.beep) {
        case BeepKind::Plain: plan.steps = {{Buzzer(good), 0, true}}; break;
        case BeepKind::Escape: plan.steps = {{EscapeBuzzer(good), 0, false, true}}; break;
        case BeepKind::None:
          return Refusal{Failure::NoBeep, std::string(family.name) + " readers have no beep that "
                                          "PC/SC can sound"};
      }
      return plan;
    }
    case Command::Read:
    case Command::Write:
      break;
  }
  if (card.memory == Memory::Unknown)
    return Refusal{Failure::UnknownLayout, "no block layout for " + card.Describe()};
  if (card.memory == Memory::Vicinity && family.vicinityOwnCommands)
    return Refusal{Failure::UnknownLayout, std::string(family.name) +
                                               " readers take ISO 15693 only through their own "
                                               "commands"};
  // Pages and ISO 15693 blocks are addressed by one byte (P2). Beyond it P1
  // would carry the rest, and a reader that drops P1 would reach pages 0 to 3.
  if ((card.memory == Memory::Ultralight || card.memory == Memory::Vicinity) &&
      request.parameter * kPagesPerBlock > 0xFF)
    return Refusal{Failure::Refused, "block " + std::to_string(request.parameter) + " starts at " +
                                         (card.memory == Memory::Ultralight ? "page " : "block ") +
                                         std::to_string(request.parameter * kPagesPerBlock) +
                                         ", beyond a one-byte address"};
  if (request.command == Command::Read) return ReadPlan(card, family, request.parameter);
  if (auto why = WriteRefusal(card, request.parameter))
    return Refusal{Failure::Refused, card.Describe() + ": " + *why};
  return WritePlan(card, request.parameter, request.data);
}

std::string HexBytes(std::span<const std::uint8_t> bytes, bool spaced) {
  std::string out;
  for (std::uint8_t b : bytes) {
    if (spaced && !out.empty()) out += ' ';
    out += ByteText(b);
  }
  return out;
}

}  // namespace rfid::pcsc
