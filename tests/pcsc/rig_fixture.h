// Tests on the rig: pcscd and vpcd started for each test, virtual cards put
// on its readers, and the PC/SC reader library bound as the console binds it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "exchange.h"
#include "frame.h"
#include "library_reader.h"
#include "pcsc_rig.h"
#include "virtual_card.h"
#ifdef _WIN32
#include "win_text.h"
#endif

namespace rfid::pcsc::rig {

inline bool InCi() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

// CI has everything the rig needs: there a missing part is a failure.
#define RFID_REQUIRE_RIG()                                        \
  if (auto why = ::rfid::pcsc::rig::RigMissing()) {               \
    if (::rfid::pcsc::rig::InCi()) FAIL() << *why;                \
    GTEST_SKIP() << *why;                                         \
  }

// The library reads its settings from the environment at each call.
inline void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
  _wputenv_s(win::Wide(name).c_str(), win::Wide(value).c_str());  // UTF-8, not the code page
#else
  ::setenv(name, value, 1);
#endif
}
inline void UnsetEnv(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");  // an empty value removes it
#else
  ::unsetenv(name);
#endif
}

inline LibraryReader& PcscLibrary() {
  static LibraryReader reader(RFID_PCSC_LIBRARY);
  return reader;
}

// The reply up to its first NUL; checks that the library kept to its 40
// characters and left NULs after its reply.
inline std::string SendFrame(const std::string& frame) {
  const ExchangeResult result = Exchange(PcscLibrary(), frame);
  EXPECT_FALSE(result.overrun) << frame;
  const std::u16string text = UpToNul(result.reply);
  for (std::size_t i = text.size(); i < result.reply.size(); ++i)
    EXPECT_EQ(result.reply[i], u'\0') << frame;
  return std::string(text.begin(), text.end());
}

inline std::string Send(const std::string& body) { return SendFrame(WithBcc(body)); }

inline const char* ReaderOn(int port) { return port == kVpcdPort0 ? kReader0 : kReader1; }

class RigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RFID_REQUIRE_RIG();
    m_Rig = std::make_unique<PcscRig>();
  }
  void TearDown() override {
    m_Cards.clear();  // before pcscd goes: a card that hangs is taken away first
    m_Rig.reset();
  }

  VirtualCard& NewCard(CardType type) {
    m_Cards.push_back(std::make_unique<VirtualCard>(type));
    return *m_Cards.back();
  }
  void Insert(VirtualCard& card, int port = kVpcdPort0) {
    card.Insert(port);
    ASSERT_TRUE(m_Rig->WaitForCard(ReaderOn(port), true)) << m_Rig->Log();
  }
  void Remove(VirtualCard& card, int port = kVpcdPort0) {
    card.Remove();
    ASSERT_TRUE(m_Rig->WaitForCard(ReaderOn(port), false)) << m_Rig->Log();
  }
  VirtualCard& Inserted(CardType type, int port = kVpcdPort0) {
    VirtualCard& card = NewCard(type);
    Insert(card, port);
    return card;
  }

  std::unique_ptr<PcscRig> m_Rig;
  std::vector<std::unique_ptr<VirtualCard>> m_Cards;
};

// What rig tests build frames and expectations from.
inline std::string Hex(const Bytes& bytes) {
  std::string out;
  for (auto b : bytes) out += ByteText(b);
  return out;
}

// 16 bytes that differ from block to block and from a blank card.
inline Bytes Pattern(std::uint8_t seed) {
  Bytes b(16);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = std::uint8_t(seed + 17 * i);
  return b;
}

inline std::string WriteFrameBody(int block, const Bytes& data) {
  return "57" + ByteText(block) + Hex(data);
}
inline std::string Success(const std::string& dataHex) { return WithBcc("4100" + dataHex); }

inline Bytes Memory(VirtualCard& card) {
  return card.With([](CardModel& m) { return m.Read(0, m.Size()); });
}

}  // namespace rfid::pcsc::rig
