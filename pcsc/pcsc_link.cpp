#include "pcsc_link.h"

#include <winscard.h>

#include <algorithm>
#include <array>

#include "pcsc_platform.h"

namespace rfid::pcsc {

namespace {

constexpr std::size_t kMaxAtrLength = 33;  // ISO 7816-3

std::string Describe(const char* call, LONG rv) {
  return std::string(call) + ": " + PcscErrorText(rv);
}

LinkFault FaultOf(LONG rv) {
  if (auto fault = PlatformFault(rv)) return *fault;
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
    std::vector<std::string> names;
    const LONG rv = ListReaderNames(m_Context, names);
    if (rv == SCARD_E_NO_READERS_AVAILABLE) return {};
    if (rv != SCARD_S_SUCCESS) Throw("SCardListReaders", rv);
    return names;
  }

  std::vector<ReaderState> Survey() override {
    std::vector<std::string> names = ListReaders();
    if (names.empty()) return {};
    std::vector<ReaderEvents> states;
    LONG rv = ReaderStatesNow(m_Context, names, states);
    if (rv == SCARD_E_UNKNOWN_READER) {
      // One reader went since the list (unplugged; or, under Wine, a name
      // its list garbled): the others still serve.
      std::vector<std::string> known;
      states.clear();
      for (const std::string& name : names) {
        std::vector<ReaderEvents> one;
        rv = ReaderStatesNow(m_Context, {name}, one);
        if (rv == SCARD_E_UNKNOWN_READER) continue;
        if (rv != SCARD_S_SUCCESS && rv != SCARD_E_TIMEOUT) break;
        known.push_back(name);
        states.push_back(one.front());
      }
      if (rv == SCARD_E_UNKNOWN_READER) rv = SCARD_S_SUCCESS;
      names = std::move(known);
    }
    if (rv != SCARD_S_SUCCESS && rv != SCARD_E_TIMEOUT) Throw("SCardGetStatusChange", rv);
    std::vector<ReaderState> survey;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const DWORD event = states[i].state;
      ReaderState state;
      state.name = names[i];
      state.card = (event & SCARD_STATE_PRESENT) && !(event & SCARD_STATE_MUTE);
      state.exclusive = event & SCARD_STATE_EXCLUSIVE;
      state.atr = states[i].atr;
      survey.push_back(std::move(state));
    }
    return survey;
  }

  std::optional<Bytes> Connect(const std::string& reader) override {
    EnsureContext();
    Disconnect();
    LONG rv = ConnectReader(m_Context, reader, SCARD_SHARE_SHARED,
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

  Bytes Control(const Bytes& command) override {
    std::array<BYTE, 258> response{};
    DWORD length = 0;
    const LONG rv = SCardControl(Card(), kEscapeControlCode, command.data(), DWORD(command.size()),
                                 response.data(), DWORD(response.size()), &length);
    if (rv != SCARD_S_SUCCESS) Throw("SCardControl", rv);
    return Bytes(response.begin(), response.begin() + std::ptrdiff_t(std::min<DWORD>(length, 258)));
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
