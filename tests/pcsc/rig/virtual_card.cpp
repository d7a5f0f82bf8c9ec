#include "virtual_card.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace rfid::pcsc::rig {

namespace {

constexpr std::uint16_t kOk = 0x9000;
constexpr std::uint16_t kFailed = 0x6300;
constexpr std::uint16_t kWrongLength = 0x6700;
constexpr std::uint16_t kSecurity = 0x6982;
constexpr std::uint16_t kNotSupported = 0x6A81;
constexpr std::uint16_t kNotFound = 0x6A82;
constexpr std::uint16_t kWrongP1P2 = 0x6B00;
constexpr std::uint16_t kWrongLe = 0x6C00;  // | the right length
constexpr std::uint16_t kInsUnknown = 0x6D00;
constexpr std::uint16_t kClaUnknown = 0x6E00;

constexpr int kClassic1KBlocks = 64;
constexpr int kClassic4KBlocks = 256;
constexpr int kUltralightPages = 16;
constexpr int kNtag215Pages = 135;
constexpr int kVicinityBlocks = 28;

Bytes Sw(std::uint16_t sw) { return {std::uint8_t(sw >> 8), std::uint8_t(sw)}; }

Bytes WithSw(Bytes data, std::uint16_t sw) {
  data.push_back(std::uint8_t(sw >> 8));
  data.push_back(std::uint8_t(sw));
  return data;
}

// Sectors 0 to 31 have 4 blocks, a 4K card's sectors 32 to 39 have 16.
int SectorOf(int block) { return block < 128 ? block / 4 : 32 + (block - 128) / 16; }
int TrailerOf(int sector) { return sector < 32 ? sector * 4 + 3 : 128 + (sector - 32) * 16 + 15; }
bool IsTrailer(int block) { return TrailerOf(SectorOf(block)) == block; }

// Lc and the data of a command APDU; nullopt when the length byte and the
// APDU's size disagree.
std::optional<Bytes> CommandData(const Bytes& apdu) {
  if (apdu.size() < 5 || apdu.size() != 5u + apdu[4]) return std::nullopt;
  return Bytes(apdu.begin() + 5, apdu.end());
}

// Le of a case 2 APDU (0 stands for 256); nullopt when it has data.
std::optional<std::size_t> ExpectedLength(const Bytes& apdu) {
  if (apdu.size() != 5) return std::nullopt;
  return apdu[4] == 0 ? 256 : apdu[4];
}

}  // namespace

Bytes StorageAtr(std::uint8_t standard, std::uint16_t name) {
  Bytes atr = {0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x03, 0x06,
               standard, std::uint8_t(name >> 8), std::uint8_t(name), 0x00, 0x00, 0x00, 0x00};
  std::uint8_t tck = 0;
  for (std::size_t i = 1; i < atr.size(); ++i) tck ^= atr[i];
  atr.push_back(tck);
  return atr;
}

// Each answer as the family's reference manual gives it (pcsc/README.md
// names them).
const std::vector<ReaderProfile>& ReaderProfiles() {
  using V = ReaderProfile::Vicinity;
  static const std::vector<ReaderProfile> profiles = {
      {"Virtual PCD", {{0x00, 0x00, 0}, {0x00, 0x01, 1}, {0x20, 0x00, 0}, {0x20, 0x01, 1}}, kWrongP1P2},
      // ACR122U API: volatile key numbers 00-01, 63 00 to every failure; no 15693.
      {"ACS ACR122U PICC Interface", {{0x00, 0x00, 0}, {0x00, 0x01, 1}}, kFailed, 16, V::NotRead},
      // ACM1252U reference: the same keys; FF 00 40 among its ACR122U commands.
      {"ACS ACR1252 1S CL Reader PICC", {{0x00, 0x00, 0}, {0x00, 0x01, 1}}, kFailed, 16, V::NotRead},
      // ACR1281U: 20 the volatile session key (00-1F EEPROM); buzzer by escape only.
      {"ACS ACR1281 1S Dual Reader PICC", {{0x00, 0x20, 0x20}}, kFailed, 16, V::NotRead, false},
      // OMNIKEY: volatile loads answered 69 86, keys in its non-volatile
      // slots; 15693 READ with Le 00; no buzzer APDU.
      {"HID Global OMNIKEY 5422CL Smartcard Reader", {{0x20, 0x00, 0}, {0x20, 0x01, 1}}, 0x6986, 16,
       V::Le00, false},
      // uTrust 3720F reference: FF 82 00 60, then key number 01; other forms
      // 69 88; READ gives one Ultralight page whatever Le; 15693 by FF FC only.
      {"Identiv uTrust 3700 F CL Reader", {{0x00, 0x60, 1}}, 0x6988, 4, V::OwnCommands, false},
      // R502 CL PPDU: keys 00/01 volatile; 15693 READ with Le 00; its own beep.
      {"Feitian R502 CL", {{0x00, 0x00, 0}, {0x00, 0x01, 1}}, kFailed, 16, V::Le00, false},
      // Older R502B firmware keeps keys in the reader behind its PIN.
      {"FT R502B Contactless", {}, kFailed, 16, V::Le00, false},
  };
  return profiles;
}

CardModel::CardModel(CardType type, const ReaderProfile& reader) : m_Type(type), m_Reader(&reader) {
  switch (type) {
    case CardType::Classic1K:
    case CardType::Classic4K: {
      const bool k4 = type == CardType::Classic4K;
      m_Units = k4 ? kClassic4KBlocks : kClassic1KBlocks;
      m_Atr = StorageAtr(0x03, k4 ? 0x0002 : 0x0001);
      m_Uid = k4 ? Bytes{0x6E, 0x2F, 0x30, 0x41} : Bytes{0x5A, 0x1B, 0x2C, 0x3D};
      m_Memory.assign(std::size_t(m_Units) * 16, 0x00);
      const std::uint8_t bcc = m_Uid[0] ^ m_Uid[1] ^ m_Uid[2] ^ m_Uid[3];
      const Bytes block0 = {m_Uid[0], m_Uid[1], m_Uid[2], m_Uid[3], bcc, 0x08, 0x04, 0x00,
                            0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69};
      std::copy(block0.begin(), block0.end(), m_Memory.begin());
      const Bytes trailer = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07,
                             0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
      for (int sector = 0; sector <= SectorOf(m_Units - 1); ++sector)
        std::copy(trailer.begin(), trailer.end(), m_Memory.begin() + TrailerOf(sector) * 16);
      break;
    }
    case CardType::Ultralight:
    case CardType::Ntag215: {
      const bool ntag = type == CardType::Ntag215;
      m_Units = ntag ? kNtag215Pages : kUltralightPages;
      m_Atr = StorageAtr(0x03, 0x0003);  // readers name NTAG as Ultralight
      m_Uid = ntag ? Bytes{0x04, 0x51, 0x62, 0x73, 0x84, 0x95, 0xA6}
                  : Bytes{0x04, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7};
      m_Memory.assign(std::size_t(m_Units) * 4, 0x00);
      const Bytes head = {m_Uid[0],
                          m_Uid[1],
                          m_Uid[2],
                          std::uint8_t(0x88 ^ m_Uid[0] ^ m_Uid[1] ^ m_Uid[2]),
                          m_Uid[3],
                          m_Uid[4],
                          m_Uid[5],
                          m_Uid[6],
                          std::uint8_t(m_Uid[3] ^ m_Uid[4] ^ m_Uid[5] ^ m_Uid[6]),
                          0x48,
                          0x00,
                          0x00};
      std::copy(head.begin(), head.end(), m_Memory.begin());
      if (ntag) {
        // Capability container, dynamic lock bytes, CFG0 (AUTH0 FF: nothing
        // protected), CFG1, password FFFFFFFF, PACK.
        Write(3 * 4, {0xE1, 0x10, 0x3E, 0x00});
        Write(kNtagDynamicLockPage * 4, {0x00, 0x00, 0x00, 0xBD});
        Write(kNtagCfg0Page * 4, {0x04, 0x00, 0x00, 0xFF});
        Write(kNtagCfg1Page * 4, {0x00, 0x05, 0x00, 0x00});
        Write(kNtagPwdPage * 4, {0xFF, 0xFF, 0xFF, 0xFF});
      }
      break;
    }
    case CardType::Iso15693:
      m_Units = kVicinityBlocks;
      m_Atr = StorageAtr(0x0B, 0x0014);
      m_Uid = {0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78};
      m_Memory.assign(kVicinityBlocks * 4, 0x00);
      break;
  }
}

Bytes CardModel::Read(std::size_t offset, std::size_t length) const {
  if (offset > m_Memory.size() || length > m_Memory.size() - offset)
    throw std::out_of_range("outside the card's memory");
  return Bytes(m_Memory.begin() + std::ptrdiff_t(offset),
               m_Memory.begin() + std::ptrdiff_t(offset + length));
}

void CardModel::Write(std::size_t offset, const Bytes& bytes) {
  if (offset > m_Memory.size() || bytes.size() > m_Memory.size() - offset)
    throw std::out_of_range("outside the card's memory");
  std::copy(bytes.begin(), bytes.end(), m_Memory.begin() + std::ptrdiff_t(offset));
}

void CardModel::SetKeyA(int sector, const Bytes& key) {
  Write(std::size_t(TrailerOf(sector)) * 16, key);
}

Bytes CardModel::Respond(const Bytes& apdu) {
  if (apdu.size() < 4) return Sw(kWrongLength);
  if (apdu[0] != 0xFF) return Sw(kClaUnknown);
  switch (apdu[1]) {
    case 0xCA: return GetData(apdu);
    case 0x82: return LoadKeys(apdu);
    case 0x86: return Authenticate(apdu);
    case 0xB0: return ReadBinary(apdu);
    case 0xD6: return UpdateBinary(apdu);
    case 0x00:
      if (apdu[2] != 0x40) return Sw(kWrongP1P2);
      if (apdu.size() != 9 || apdu[4] != 4) return Sw(kWrongLength);
      if (!m_Reader->plainBeep) return Sw(kNotSupported);
      if (m_BuzzerStatus >> 8 == 0x90) ++m_Beeps;
      return Sw(m_BuzzerStatus);
    default: return Sw(kInsUnknown);
  }
}

Bytes CardModel::GetData(const Bytes& apdu) const {
  const auto le = ExpectedLength(apdu);
  if (!le) return Sw(kWrongLength);
  if (apdu[2] == 0x01) return Sw(kNotSupported);  // historical bytes: not kept
  if (apdu[2] != 0x00 || apdu[3] != 0x00) return Sw(kWrongP1P2);
  if (apdu[4] != 0 && *le != m_Uid.size()) return Sw(std::uint16_t(kWrongLe | m_Uid.size()));
  return WithSw(m_Uid, kOk);
}

Bytes CardModel::LoadKeys(const Bytes& apdu) {
  const auto data = CommandData(apdu);
  if (!data || data->size() != 6) return Sw(kWrongLength);
  for (const ReaderProfile::Key& key : m_Reader->keys)
    if (key.p1 == apdu[2] && key.p2 == apdu[3]) {
      m_Keys[key.number] = *data;
      return Sw(kOk);
    }
  return Sw(m_Reader->refusal);
}

Bytes CardModel::Authenticate(const Bytes& apdu) {
  const auto data = CommandData(apdu);
  if (!data || data->size() != 5) return Sw(kWrongLength);
  const Bytes& d = *data;
  const auto named = [&](const ReaderProfile::Key& key) { return key.number == d[4]; };
  if (d[0] != 0x01 || (d[3] != 0x60 && d[3] != 0x61) ||
      std::none_of(m_Reader->keys.begin(), m_Reader->keys.end(), named))
    return Sw(m_Reader->refusal);
  m_AuthenticatedSector = -1;
  const int block = d[1] << 8 | d[2];
  if (!IsClassic() || block >= m_Units || !m_Keys.count(d[4])) return Sw(kFailed);
  const int sector = SectorOf(block);
  const std::size_t keyOffset = std::size_t(TrailerOf(sector)) * 16 + (d[3] == 0x60 ? 0 : 10);
  if (Read(keyOffset, 6) != m_Keys[d[4]]) return Sw(kFailed);
  m_AuthenticatedSector = sector;
  return Sw(kOk);
}

Bytes CardModel::ReadBinary(const Bytes& apdu) const {
  const auto le = ExpectedLength(apdu);
  if (!le) return Sw(kWrongLength);
  const int address = apdu[2] << 8 | apdu[3];
  switch (m_Type) {
    case CardType::Classic1K:
    case CardType::Classic4K: return ClassicRead(address, *le);
    case CardType::Ultralight:
    case CardType::Ntag215: return UltralightRead(address, *le);
    case CardType::Iso15693: return VicinityRead(address, *le);
  }
  return Sw(kInsUnknown);
}

Bytes CardModel::UpdateBinary(const Bytes& apdu) {
  const auto data = CommandData(apdu);
  if (!data) return Sw(kWrongLength);
  const int address = apdu[2] << 8 | apdu[3];
  switch (m_Type) {
    case CardType::Classic1K:
    case CardType::Classic4K: return ClassicUpdate(address, *data);
    case CardType::Ultralight:
    case CardType::Ntag215: return UltralightUpdate(address, *data);
    case CardType::Iso15693: return VicinityUpdate(address, *data);
  }
  return Sw(kInsUnknown);
}

Bytes CardModel::ClassicRead(int block, std::size_t le) const {
  if (block >= m_Units) return Sw(kNotFound);
  if (le != 16) return Sw(kWrongLe | 16);
  if (SectorOf(block) != m_AuthenticatedSector) return Sw(kSecurity);
  Bytes data = Read(std::size_t(block) * 16, 16);
  if (IsTrailer(block)) std::fill(data.begin(), data.begin() + 6, 0x00);  // key A never reads
  return WithSw(std::move(data), kOk);
}

Bytes CardModel::ClassicUpdate(int block, const Bytes& data) {
  if (data.size() != 16) return Sw(kWrongLength);
  if (block >= m_Units) return Sw(kNotFound);
  if (SectorOf(block) != m_AuthenticatedSector) return Sw(kSecurity);
  if (block == 0) return Sw(kFailed);  // manufacturer block
  Write(std::size_t(block) * 16, data);
  return Sw(kOk);
}

bool CardModel::PageLocked(int page) const {
  const std::uint8_t lock0 = m_Memory[10], lock1 = m_Memory[11];
  if (page == 3) return lock0 & 0x08;
  if (page >= 4 && page <= 7) return lock0 & (1 << page);
  if (page >= 8 && page <= 15) return lock1 & (1 << (page - 8));
  if (m_Type == CardType::Ntag215) {
    // Dynamic lock byte 0: a bit for each 16 pages of user memory from 16.
    if (page >= 16 && page < kNtagDynamicLockPage)
      return m_Memory[kNtagDynamicLockPage * 4] & (1 << ((page - 16) / 16));
    // Pages from AUTH0 on need the password, which the storage-card
    // pseudo-APDUs cannot give.
    if (page >= m_Memory[kNtagCfg0Page * 4 + 3]) return true;
  }
  return false;
}

Bytes CardModel::UltralightRead(int page, std::size_t le) const {
  if (page >= m_Units) return Sw(kNotFound);
  const std::size_t pages = m_Reader->ultralightRead / 4;
  if (pages == 4 && le != 16) return Sw(kWrongLe | 16);
  Bytes data;
  for (std::size_t i = 0; i < pages; ++i) {  // reads roll over past the last page
    const int at = (page + int(i)) % m_Units;
    Bytes p = Read(std::size_t(at) * 4, 4);
    if (m_Type == CardType::Ntag215 && (at == kNtagPwdPage || at == kNtagPackPage))
      p.assign(4, 0x00);  // the password and PACK never read
    data.insert(data.end(), p.begin(), p.end());
  }
  return WithSw(std::move(data), kOk);
}

Bytes CardModel::UltralightUpdate(int page, const Bytes& data) {
  if (data.size() != 4) return Sw(kWrongLength);
  if (page >= m_Units) return Sw(kNotFound);
  if (page < 2 || PageLocked(page)) return Sw(kFailed);
  const std::size_t at = std::size_t(page) * 4;
  if (page == 2) {  // lock bytes: bits only ever set
    m_Memory[at + 2] |= data[2];
    m_Memory[at + 3] |= data[3];
  } else if (page == 3) {  // one-time programmable
    for (std::size_t i = 0; i < 4; ++i) m_Memory[at + i] |= data[i];
  } else if (m_Type == CardType::Ntag215 && page == kNtagDynamicLockPage) {
    for (std::size_t i = 0; i < 3; ++i) m_Memory[at + i] |= data[i];
  } else {
    Write(at, data);
  }
  return Sw(kOk);
}

Bytes CardModel::VicinityRead(int block, std::size_t le) const {
  using V = ReaderProfile::Vicinity;
  if (m_Reader->vicinity == V::OwnCommands) return Sw(kNotSupported);
  if (block >= m_Units) return Sw(kNotFound);
  if (m_Reader->vicinity == V::Le00 ? le != 256 : le != m_VicinityBytes)
    return Sw(m_Reader->vicinity == V::Le00 ? kWrongLength : kWrongLe | m_VicinityBytes);
  return WithSw(Read(std::size_t(block) * m_VicinityBytes, m_VicinityBytes), kOk);
}

Bytes CardModel::VicinityUpdate(int block, const Bytes& data) {
  if (m_Reader->vicinity == ReaderProfile::Vicinity::OwnCommands) return Sw(kNotSupported);
  if (data.size() != m_VicinityBytes) return Sw(kWrongLength);
  if (block >= m_Units) return Sw(kNotFound);
  Write(std::size_t(block) * m_VicinityBytes, data);
  return Sw(kOk);
}

void CardModel::SetVicinityBlockBytes(std::size_t bytes) {
  m_VicinityBytes = bytes;
  m_Memory.assign(std::size_t(m_Units) * bytes, 0x00);
}

VirtualCard::VirtualCard(CardType type, const ReaderProfile& reader) : m_Model(type, reader) {}

VirtualCard::~VirtualCard() { Remove(); }

void VirtualCard::Insert(int port) {
  if (m_Serving) throw std::logic_error("the card is inserted already");
  if (m_Thread.joinable()) m_Thread.join();
  auto socket = std::make_unique<LoopbackSocket>(port);
  {
    std::lock_guard lock(m_SocketMutex);
    m_Socket = std::move(socket);
  }
  m_Serving = true;
  m_Thread = std::thread(&VirtualCard::Serve, this);
}

void VirtualCard::Remove() {
  {
    std::lock_guard lock(m_SocketMutex);
    if (m_Socket) m_Socket->Shutdown();
  }
  if (m_Thread.joinable()) m_Thread.join();
}

std::vector<Bytes> VirtualCard::Apdus() const {
  std::lock_guard lock(m_Mutex);
  return m_Apdus;
}

void VirtualCard::ClearApdus() {
  std::lock_guard lock(m_Mutex);
  m_Apdus.clear();
}

bool VirtualCard::Send(const Bytes& payload) {
  Bytes message = {std::uint8_t(payload.size() >> 8), std::uint8_t(payload.size())};
  message.insert(message.end(), payload.begin(), payload.end());
  return m_Socket->WriteAll(message.data(), message.size());
}

void VirtualCard::Serve() {
  for (;;) {
    std::uint8_t header[2];
    if (!m_Socket->ReadExact(header, 2)) break;
    Bytes payload(std::size_t(header[0] << 8 | header[1]));
    if (!payload.empty() && !m_Socket->ReadExact(payload.data(), payload.size())) break;
    if (payload.size() == 1) {  // 00 off, 01 on, 02 reset, 04 ATR
      if (payload[0] == 0x04) {
        if (!Send(With([](CardModel& m) { return m.Atr(); }))) break;
      } else {
        With([](CardModel& m) { m.Reset(); });
      }
      continue;
    }
    if (payload.empty()) continue;
    {
      std::lock_guard lock(m_Mutex);
      m_Apdus.push_back(payload);
    }
    if (m_RemoveCountdown > 0 && m_RemoveCountdown.fetch_sub(1) == 1) break;
    if (m_DelayCountdown > 0 && m_DelayCountdown.fetch_sub(1) == 1)
      std::this_thread::sleep_for(std::chrono::milliseconds(m_DelayMs.load()));
    if (m_Mute) continue;
    if (!Send(With([&](CardModel& m) { return m.Respond(payload); }))) break;
  }
  std::lock_guard lock(m_SocketMutex);
  m_Socket.reset();
  m_Serving = false;
}

}  // namespace rfid::pcsc::rig
