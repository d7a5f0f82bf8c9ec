// A virtual contactless card on vpcd's virtual reader: it plays a MIFARE
// Classic 1K or 4K, an Ultralight, an NTAG215 or an ISO 15693 card behind a
// reader that takes
// the PC/SC pseudo-APDUs for storage cards, and can be scripted by tests
// (inserted, removed, taken away in the middle of an exchange, mute).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loopback_socket.h"

namespace rfid::pcsc::rig {

using Bytes = std::vector<std::uint8_t>;

enum class CardType { Classic1K, Classic4K, Ultralight, Ntag215, Iso15693 };

// NTAG215 pages past its user memory (4 to 129).
inline constexpr int kNtagDynamicLockPage = 130;
inline constexpr int kNtagCfg0Page = 131;  // byte 3: AUTH0, the first protected page
inline constexpr int kNtagCfg1Page = 132;
inline constexpr int kNtagPwdPage = 133;
inline constexpr int kNtagPackPage = 134;

// vpcd's ports: one virtual reader each.
inline constexpr int kVpcdPort0 = 35963;
inline constexpr int kVpcdPort1 = 35964;

// The ATR a PC/SC reader builds for a storage card of this standard byte
// and card name.
Bytes StorageAtr(std::uint8_t standard, std::uint16_t name);

// How one reader family answers, as its maker documents it.
struct ReaderProfile {
  const char* name;  // as PC/SC lists it, less " 00 00"
  struct Key {
    std::uint8_t p1, p2, number;  // LOAD KEYS taken, and the number AUTH then names
  };
  std::vector<Key> keys;
  std::uint16_t refusal;  // its answer to a key form or key number it does not take
  std::size_t ultralightRead = 16;  // bytes a READ gives, whatever Le asks
  enum class Vicinity { Le04, Le00, OwnCommands, NotRead } vicinity = Vicinity::Le04;
  bool plainBeep = true;  // FF 00 40 sounds
};
// The families' profiles; the first is the PC/SC storage-card text's own.
const std::vector<ReaderProfile>& ReaderProfiles();

// The card's memory and the answers of the reader it lies on. Not
// thread-safe by itself; VirtualCard guards it.
class CardModel {
 public:
  explicit CardModel(CardType type, const ReaderProfile& reader = ReaderProfiles().front());

  CardType Type() const { return m_Type; }
  Bytes Atr() const { return m_Atr; }
  void SetAtr(Bytes atr) { m_Atr = std::move(atr); }
  const Bytes& Uid() const { return m_Uid; }

  // The response (data and status word) to one APDU.
  Bytes Respond(const Bytes& apdu);
  // Power off, power on or reset: the authentication is gone.
  void Reset() { m_AuthenticatedSector = -1; }

  // The whole memory, 16 bytes a Classic block, 4 a page or an ISO 15693
  // block, so that the frames' block N is at 16 * N for every type.
  Bytes Read(std::size_t offset, std::size_t length) const;
  void Write(std::size_t offset, const Bytes& bytes);
  std::size_t Size() const { return m_Memory.size(); }

  // Key A of a Classic sector, in its trailer.
  void SetKeyA(int sector, const Bytes& key);
  // What the buzzer command answers: 90 00 by default.
  void SetBuzzerStatus(std::uint16_t sw) { m_BuzzerStatus = sw; }
  int Beeps() const { return m_Beeps; }
  // ISO 15693 blocks of 8 bytes instead of 4.
  void SetVicinityBlockBytes(std::size_t bytes);

 private:
  Bytes GetData(const Bytes& apdu) const;
  Bytes LoadKeys(const Bytes& apdu);
  Bytes Authenticate(const Bytes& apdu);
  Bytes ReadBinary(const Bytes& apdu) const;
  Bytes UpdateBinary(const Bytes& apdu);
  Bytes ClassicRead(int block, std::size_t le) const;
  Bytes ClassicUpdate(int block, const Bytes& data);
  Bytes UltralightRead(int page, std::size_t le) const;
  Bytes UltralightUpdate(int page, const Bytes& data);
  Bytes VicinityRead(int block, std::size_t le) const;
  Bytes VicinityUpdate(int block, const Bytes& data);
  bool IsClassic() const { return m_Type == CardType::Classic1K || m_Type == CardType::Classic4K; }
  bool IsUltralight() const {
    return m_Type == CardType::Ultralight || m_Type == CardType::Ntag215;
  }
  bool PageLocked(int page) const;

  CardType m_Type;
  const ReaderProfile* m_Reader;
  int m_Units = 0;  // Classic blocks, Ultralight pages, ISO 15693 blocks
  std::size_t m_VicinityBytes = 4;
  Bytes m_Atr;
  Bytes m_Uid;
  Bytes m_Memory;
  std::map<std::uint8_t, Bytes> m_Keys;  // the reader's, by key number
  int m_AuthenticatedSector = -1;
  std::uint16_t m_BuzzerStatus = 0x9000;
  int m_Beeps = 0;
};

class VirtualCard {
 public:
  explicit VirtualCard(CardType type, const ReaderProfile& reader = ReaderProfiles().front());
  ~VirtualCard();
  VirtualCard(const VirtualCard&) = delete;
  VirtualCard& operator=(const VirtualCard&) = delete;

  // Connects to vpcd (the card lies on the reader); throws std::runtime_error
  // when vpcd does not listen. The reader notices within vpcd's poll time.
  void Insert(int port = kVpcdPort0);
  // Takes the card away; returns once the connection is closed.
  void Remove();
  bool Inserted() const { return m_Serving; }

  // Mute: APDUs get no answer at all (the ATR still does).
  void SetMute(bool mute) { m_Mute = mute; }
  // The nth APDU from now (1: the next) takes the card away unanswered.
  void RemoveOnApdu(int n) { m_RemoveCountdown = n; }
  // The nth APDU from now is carried out and answered only after ms.
  void DelayOnApdu(int n, int ms) {
    m_DelayMs = ms;
    m_DelayCountdown = n;
  }

  // Every APDU the card received, in order.
  std::vector<Bytes> Apdus() const;
  void ClearApdus();

  // The model, with the lock held for the call.
  template <class F>
  auto With(F f) {
    std::lock_guard lock(m_Mutex);
    return f(m_Model);
  }

 private:
  void Serve();
  bool Send(const Bytes& payload);

  mutable std::mutex m_Mutex;
  CardModel m_Model;
  std::vector<Bytes> m_Apdus;
  std::atomic<bool> m_Mute{false};
  std::atomic<int> m_RemoveCountdown{0};
  std::atomic<int> m_DelayCountdown{0};
  std::atomic<int> m_DelayMs{0};
  std::atomic<bool> m_Serving{false};
  std::mutex m_SocketMutex;  // Remove shuts the socket while Serve reads it
  std::unique_ptr<LoopbackSocket> m_Socket;
  std::thread m_Thread;
};

}  // namespace rfid::pcsc::rig
