#include "pcsc_link.h"

#include <winscard.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>

#include "pcsc_platform.h"

namespace rfid::pcsc {

namespace {

constexpr std::size_t kMaxAtrLength = 33;  // ISO 7816-3

std::string Describe(const char* call, LONG rv) {
  return std::string(call) + ": " + PcscErrorText(rv);
}

LinkFault FaultOf(LONG rv) {
  switch (rv) {
    case SCARD_W_REMOVED_CARD:
    case SCARD_W_RESET_CARD:
    case SCARD_E_INVALID_HANDLE:
    case SCARD_E_NO_SERVICE:
    case SCARD_E_SERVICE_STOPPED:
    case SCARD_E_READER_UNAVAILABLE:
    case SCARD_E_UNKNOWN_READER:
      return LinkFault::Stale;
    case SCARD_E_NO_SMARTCARD:
    case SCARD_E_NOT_TRANSACTED:
    case SCARD_W_UNRESPONSIVE_CARD:
    case SCARD_W_UNPOWERED_CARD:
    case SCARD_F_COMM_ERROR:
    case SCARD_E_PROTO_MISMATCH:
      return LinkFault::Lost;
    case SCARD_E_SHARING_VIOLATION:
      return LinkFault::InUse;
    default:
      return LinkFault::Failed;
  }
}

[[noreturn]] void Throw(const char* call, LONG rv) { throw LinkError(FaultOf(rv), Describe(call, rv)); }

class PcscLink final : public CardLink {
 public:
  ~PcscLink() override {
    Disconnect();
    if (m_HaveContext) SCardReleaseContext(m_Context);
  }

  std::vector<std::string> ListReaders() override {
    EnsureContext();
    DWORD size = 0;
    LONG rv = SCardListReaders(m_Context, nullptr, nullptr, &size);
    if (rv == SCARD_E_NO_READERS_AVAILABLE) return {};
    if (rv != SCARD_S_SUCCESS) Throw("SCardListReaders", rv);
    std::string buffer(size, '\0');
    rv = SCardListReaders(m_Context, nullptr, buffer.data(), &size);
    if (rv == SCARD_E_NO_READERS_AVAILABLE) return {};
    if (rv != SCARD_S_SUCCESS) Throw("SCardListReaders", rv);
    buffer.resize(size);
    std::vector<std::string> names;
    for (std::size_t pos = 0; pos < buffer.size() && buffer[pos] != '\0';) {
      const std::size_t end = buffer.find('\0', pos);
      names.push_back(buffer.substr(pos, end - pos));
      if (end == std::string::npos) break;
      pos = end + 1;
    }
    return names;
  }

  std::vector<ReaderState> Survey() override {
    const std::vector<std::string> names = ListReaders();
    if (names.empty()) return {};
    std::vector<SCARD_READERSTATE> states(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      states[i].szReader = names[i].c_str();
      states[i].dwCurrentState = SCARD_STATE_UNAWARE;
    }
    const LONG rv = SCardGetStatusChange(m_Context, 0, states.data(), DWORD(states.size()));
    if (rv != SCARD_S_SUCCESS && rv != SCARD_E_TIMEOUT) Throw("SCardGetStatusChange", rv);
    std::vector<ReaderState> survey;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const DWORD event = states[i].dwEventState;
      ReaderState state;
      state.name = names[i];
      state.card = (event & SCARD_STATE_PRESENT) && !(event & SCARD_STATE_MUTE);
      state.exclusive = event & SCARD_STATE_EXCLUSIVE;
      const DWORD atrLength = std::min<DWORD>(states[i].cbAtr, sizeof states[i].rgbAtr);
      state.atr.assign(states[i].rgbAtr, states[i].rgbAtr + atrLength);
      survey.push_back(std::move(state));
    }
    return survey;
  }

  std::optional<Bytes> Connect(const std::string& reader) override {
    EnsureContext();
    Disconnect();
    LONG rv = SCardConnect(m_Context, reader.c_str(), SCARD_SHARE_SHARED,
                           SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &m_Card, &m_Protocol);
    switch (rv) {
      case SCARD_S_SUCCESS: break;
      case SCARD_E_NO_SMARTCARD:
      case SCARD_W_REMOVED_CARD:
      case SCARD_W_UNRESPONSIVE_CARD:
      case SCARD_W_UNPOWERED_CARD:
      case SCARD_E_PROTO_MISMATCH:
        return std::nullopt;
      default:  // SCARD_E_SHARING_VIOLATION: another program holds it exclusively
        Throw("SCardConnect", rv);
    }
    m_HaveCard = true;
    std::array<BYTE, kMaxAtrLength> atr{};
    DWORD atrLength = atr.size();
    DWORD state = 0, protocol = 0;
    rv = SCardStatus(m_Card, nullptr, nullptr, &state, &protocol, atr.data(), &atrLength);
    if (rv != SCARD_S_SUCCESS) {
      Disconnect();
      if (FaultOf(rv) == LinkFault::Failed) Throw("SCardStatus", rv);
      return std::nullopt;  // gone again at once
    }
    return Bytes(atr.begin(), atr.begin() + std::ptrdiff_t(atrLength));
  }

  void Disconnect() override {
    if (!m_HaveCard) return;
    SCardDisconnect(m_Card, SCARD_LEAVE_CARD);
    m_HaveCard = false;
  }

  void CheckCard() override {
    DWORD state = 0, protocol = 0, atrLength = 0;
    const LONG rv = SCardStatus(Card(), nullptr, nullptr, &state, &protocol, nullptr, &atrLength);
    if (rv != SCARD_S_SUCCESS) Throw("SCardStatus", rv);
  }

  void BeginTransaction() override {
    const LONG rv = SCardBeginTransaction(Card());
    if (rv != SCARD_S_SUCCESS) Throw("SCardBeginTransaction", rv);
  }

  void EndTransaction() override {
    if (m_HaveCard) SCardEndTransaction(m_Card, SCARD_LEAVE_CARD);
  }

  Bytes Transmit(const Bytes& command) override {
    std::array<BYTE, 258> response{};
    DWORD length = response.size();
    const SCARD_IO_REQUEST* pci = m_Protocol == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
    const LONG rv = SCardTransmit(Card(), pci, command.data(), DWORD(command.size()), nullptr,
                                  response.data(), &length);
    if (rv != SCARD_S_SUCCESS) Throw("SCardTransmit", rv);
    return Bytes(response.begin(), response.begin() + std::ptrdiff_t(length));
  }

 private:
  void EnsureContext() {
    if (m_HaveContext) return;
    const LONG rv = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &m_Context);
    if (rv != SCARD_S_SUCCESS)
      throw LinkError(LinkFault::NoService, Describe("SCardEstablishContext", rv));
    m_HaveContext = true;
  }

  SCARDHANDLE Card() const {
    if (!m_HaveCard) throw LinkError(LinkFault::Stale, "no card handle");
    return m_Card;
  }

  SCARDCONTEXT m_Context = 0;
  bool m_HaveContext = false;
  SCARDHANDLE m_Card = 0;
  bool m_HaveCard = false;
  DWORD m_Protocol = 0;
};

}  // namespace

std::unique_ptr<CardLink> MakePcscLink() { return std::make_unique<PcscLink>(); }

}  // namespace rfid::pcsc
