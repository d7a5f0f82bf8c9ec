#include "session.h"

#include <algorithm>

namespace rfid::pcsc {

namespace {
Result Fail(Failure failure, std::string note) { return {failure, {}, std::move(note)}; }

Failure FailureOf(LinkFault fault) {
  switch (fault) {
    case LinkFault::NoService:
    case LinkFault::NoReader: return Failure::NoReader;
    case LinkFault::Stale:
    case LinkFault::Lost: return Failure::Lost;
    case LinkFault::InUse: return Failure::InUse;
    case LinkFault::Failed: break;
  }
  return Failure::CardError;
}

// How well a card suits a request: 0 not at all, 1 it can serve, 2 a
// storage card that serves.
constexpr int kBestFit = 2;
int Fit(const CheckedFrame& request, const CardInfo& card) {
  const bool storage = card.memory != Memory::Unknown;
  switch (request.command) {
    case Command::Detect: {
      const Standard wanted = request.parameter == 1 ? Standard::Iso14443A : Standard::Iso15693;
      if (card.standard != wanted) return 0;
      return storage ? 2 : 1;
    }
    case Command::Beep: return storage ? 2 : 1;
    case Command::Read:
    case Command::Write: return storage ? 2 : 0;
  }
  return 0;
}

std::uint16_t StatusWord(const Bytes& response) {
  return response.size() < 2 ? 0 : std::uint16_t(response[response.size() - 2] << 8 | response.back());
}

std::string SwText(std::uint16_t sw) {
  return ByteText(std::uint8_t(sw >> 8)) + " " + ByteText(std::uint8_t(sw));
}

// Answers to a key load that mean "not in this form here" (ACS readers
// answer 63 00 to everything, OMNIKEY 69 86, SCM and Identiv 69 88): the
// next form is tried.
bool FormNotTaken(std::uint16_t sw) {
  switch (sw) {
    case 0x6300: case 0x6986: case 0x6987: case 0x6988: case 0x6A81: case 0x6A86: case 0x6B00:
      return true;
    default: return false;
  }
}

// Answers to an authentication that refuse its key number or type, not
// the card's key.
bool KeyNumberNotTaken(std::uint16_t sw) { return sw == 0x6986 || sw == 0x6988 || sw == 0x6B00; }

class TransactionGuard {
 public:
  explicit TransactionGuard(CardLink& link) : m_Link(link) { m_Link.BeginTransaction(); }
  ~TransactionGuard() { m_Link.EndTransaction(); }
  TransactionGuard(const TransactionGuard&) = delete;
  TransactionGuard& operator=(const TransactionGuard&) = delete;

 private:
  CardLink& m_Link;
};
}  // namespace

std::string ReplyText(const Result& outcome) {
  if (outcome.failure) return FailureReply(*outcome.failure);
  return SuccessReply(outcome.data);
}

Session::~Session() { Drop(); }

void Session::Trace(const std::string& line) const {
  if (m_Settings && m_Settings->trace) m_Settings->trace(line);
}

void Session::Before(Wait wait) {
  if (m_Watch) m_Watch->Before(wait, m_Reader);
}

void Session::Drop() {
  if (m_Link && m_Connected) m_Link->Disconnect();
  m_Connected = false;
  m_KeyLoaded.reset();
  m_Link.reset();
}

bool Session::Pinned(const CheckedFrame& request) const {
  return !m_Pinned.empty() && (request.command == Command::Read || request.command == Command::Write);
}

Result Session::Run(const CheckedFrame& request, const Settings& settings, Watch* watch) {
  m_Settings = &settings;
  m_Watch = watch;
  // Each detect chooses afresh; so does another reader filter.
  if (request.command == Command::Detect || settings.readerFilter != m_PinnedFilter)
    m_Pinned.clear();
  Result outcome;
  for (int attempt = 0;; ++attempt) {
    bool sent = false;
    try {
      outcome = Attempt(request, sent);
      break;
    } catch (const Abandoned&) {
      Trace("stopped: the exchange was answered already, nothing more is sent");
      Drop();
      outcome = Fail(Failure::Timeout, "abandoned");
      break;
    } catch (const LinkError& e) {
      Trace(std::string("link: ") + e.what());
      Drop();
      // A handle gone stale since the last exchange reached no card: connect
      // afresh and try once more.
      if (e.Fault() == LinkFault::Stale && !sent && attempt == 0) continue;
      outcome = Fail(FailureOf(e.Fault()), e.what());
      break;
    }
  }
  // A detected card that holds blocks keeps its reads and writes: a card
  // lifted from it never sends them to a card on another reader.
  if (request.command == Command::Detect && !outcome.failure && m_Card.memory != Memory::Unknown) {
    m_Pinned = m_Reader;
    m_PinnedFilter = settings.readerFilter;
  }
  m_Settings = nullptr;
  m_Watch = nullptr;
  return outcome;
}

Result Session::Attempt(const CheckedFrame& request, bool& sent) {
  if (m_Connected && m_Settings->readerFilter != m_Filter) {
    Before(Wait::Reader);
    m_Link->Disconnect();  // another reader is asked for now
    m_Connected = false;
  }
  const std::string earlier = m_Connected ? m_Reader : std::string();
  if (!m_Connected || Fit(request, m_Card) < kBestFit || (Pinned(request) && m_Reader != m_Pinned))
    if (auto failed = Choose(request)) return *failed;
  if (request.command == Command::Beep) SayBeep();
  auto plan = PlanFor(request, m_Card, FamilyOf(m_Reader));
  if (auto* refusal = std::get_if<Refusal>(&plan)) {
    // Refused by what we knew of the card: make sure it is still that card.
    if (earlier == m_Reader) {
      Before(Wait::Reader);
      m_Link->CheckCard();
    }
    return Fail(refusal->failure, "nothing sent: " + refusal->why);
  }
  return Execute(std::get<Plan>(plan), sent);
}

std::optional<Result> Session::Choose(const CheckedFrame& request) {
  if (!m_Link) m_Link = m_Factory();
  const std::string& filter = m_Settings->readerFilter;
  Before(Wait::Service);
  std::vector<ReaderState> readers = m_Link->Survey();
  std::erase_if(readers, [&](const ReaderState& r) {
    return !filter.empty() && r.name.find(filter) == std::string::npos;
  });
  if (Pinned(request)) {
    if (m_Connected && m_Reader != m_Pinned) {
      Before(Wait::Reader);
      m_Link->Disconnect();
      m_Connected = false;
    }
    std::erase_if(readers, [&](const ReaderState& r) { return r.name != m_Pinned || !r.card; });
    if (readers.empty())
      return Fail(Failure::NoCard, "no card on reader \"" + m_Pinned +
                                       "\", where the last detect found one; nothing is sent "
                                       "to another reader");
  }
  if (readers.empty())
    return Fail(Failure::NoReader,
                filter.empty() ? "no reader attached" : "no reader named like \"" + filter + "\"");
  // The readers whose card serves, the best suited first, in the service's
  // order among equals.
  std::vector<std::pair<int, const ReaderState*>> fitting;
  const ReaderState* firstCard = nullptr;
  for (const ReaderState& r : readers) {
    if (!r.card) continue;
    if (!firstCard) firstCard = &r;
    if (const int fit = Fit(request, IdentifyCard(r.atr))) fitting.emplace_back(fit, &r);
  }
  std::stable_sort(fitting.begin(), fitting.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  std::string inUse;
  for (const auto& [fit, r] : fitting) {
    // The card connected to serves best (another card there has another ATR).
    if (m_Connected && r->name == m_Reader && r->atr == m_Atr) return std::nullopt;
    if (r->exclusive) {
      inUse = r->name;
      continue;
    }
    m_Reader = r->name;
    Before(Wait::Reader);
    std::optional<Bytes> atr;
    try {
      m_Connected = false;
      atr = m_Link->Connect(r->name);
    } catch (const LinkError& e) {
      if (e.Fault() != LinkFault::InUse) throw;
      inUse = r->name;
      continue;
    }
    if (!atr) continue;
    m_Connected = true;
    m_KeyLoaded.reset();  // a new connection loads the key again
    m_Filter = filter;
    m_Atr = *atr;
    m_Card = IdentifyCard(*atr);
    Trace("reader \"" + r->name + "\": ATR " + HexBytes(*atr, true) + " (" + m_Card.Describe() +
          ")");
    const std::string serves = "reader \"" + r->name + "\" serves (" + m_Card.Describe() + ")";
    if (m_Served != serves && m_Settings->notice) m_Settings->notice(serves);
    m_Served = serves;
    return std::nullopt;
  }
  if (m_Connected) return std::nullopt;  // nothing better than the card connected to
  if (!inUse.empty())
    return Fail(Failure::InUse, "reader \"" + inUse + "\" is held exclusively by another program");
  if (firstCard) {
    // Cards lie there, none of a kind this request can use.
    auto plan = PlanFor(request, IdentifyCard(firstCard->atr), FamilyOf(firstCard->name));
    if (auto* refusal = std::get_if<Refusal>(&plan))
      return Fail(refusal->failure, "reader \"" + firstCard->name + "\": " + refusal->why);
  }
  return Fail(Failure::NoCard, "no card on any reader");
}

void Session::SayBeep() {
  if (!m_Settings->notice || !m_BeepSaid.insert(m_Reader).second) return;
  const ReaderFamily& family = FamilyOf(m_Reader);
  const char* how = family.beep == BeepKind::Plain    ? "beeps with FF 00 40"
                    : family.beep == BeepKind::Escape ? "beeps with the escape command E0 00 00 28 "
                                                        "(SCardControl)"
                                                      : "has no beep the library can sound";
  m_Settings->notice("reader \"" + m_Reader + "\" (" + std::string(family.name) + ") " + how);
}

Bytes Session::Send(const Bytes& command, bool escape, bool& sent) {
  Trace((escape ? "> escape " : "> ") + HexBytes(command, true));
  Bytes response = escape ? m_Link->Control(command) : m_Link->Transmit(command);
  sent = true;
  const std::size_t data = response.size() < 2 || escape ? response.size() : response.size() - 2;
  Trace("< " + HexBytes(std::span(response).first(data), true) +
        (data == response.size() ? "" : (data ? " SW " : "SW ") + HexBytes(std::span(response).last(2), true)));
  return response;
}

std::optional<Result> Session::Authenticate(int block, bool& sent) {
  const auto forms = KeyForms();
  // Each APDU here may be the one an answered exchange must not send.
  const auto status = [&](const Bytes& command) {
    Before(Wait::Card);
    return StatusWord(Send(command, false, sent));
  };
  const auto authenticate = [&](const KeyForm& form) {
    return status(AuthenticateKeyA(block, form.keyNumber));
  };
  const auto otherKey = [](std::uint16_t sw) {
    return Fail(Failure::CardError, "authentication failed (status word " + SwText(sw) +
                                        "): the card's key A is not the transport key");
  };
  if (m_KeyLoaded) {
    const std::uint16_t sw = authenticate(forms[*m_KeyLoaded]);
    if (sw == 0x9000) return std::nullopt;
    return otherKey(sw);
  }
  // The form this reader took before, else its family's first and the rest.
  std::vector<std::size_t> order;
  if (const auto known = m_KeyForms.find(m_Reader); known != m_KeyForms.end()) {
    order = {known->second};
  } else {
    order = {FamilyOf(m_Reader).firstKeyForm};
    for (std::size_t i = 0; i < forms.size(); ++i)
      if (i != order.front()) order.push_back(i);
  }
  for (const std::size_t i : order) {
    const KeyForm& form = forms[i];
    // EEPROM may hold the key already: a load there wears it, so it is
    // written only when the slot's key fails.
    if (form.nonVolatile && authenticate(form) == 0x9000) {
      m_KeyLoaded = m_KeyForms[m_Reader] = i;
      return std::nullopt;
    }
    const std::uint16_t loaded = status(LoadTransportKey(form));
    if (loaded != 0x9000) {
      if (FormNotTaken(loaded)) continue;
      return Fail(Failure::CardError, "key load: status word " + SwText(loaded));
    }
    const std::uint16_t sw = authenticate(form);
    if (sw != 0x9000 && KeyNumberNotTaken(sw)) continue;
    m_KeyLoaded = m_KeyForms[m_Reader] = i;
    if (sw == 0x9000) return std::nullopt;
    return otherKey(sw);
  }
  return Fail(Failure::KeyLoad, "reader \"" + m_Reader +
                                    "\" took the MIFARE Classic key in none of the forms readers "
                                    "document: its Classic cards cannot be read or written "
                                    "(pcsc/README.md lists the readers)");
}

Result Session::Execute(const Plan& plan, bool& sent) {
  // Every exchange is one transaction: another program's transaction makes
  // us wait here, before anything is sent, never in the middle.
  Before(Wait::Reader);
  TransactionGuard hold(*m_Link);
  if (plan.authenticate >= 0)
    if (auto failed = Authenticate(plan.authenticate, sent)) return *failed;
  Bytes data;
  // Once a block's first page has gone out its other pages follow, also
  // when the caller has had its answer: a block is never left half old,
  // half new.
  bool finishing = false;
  for (std::size_t i = 0; i < plan.steps.size(); ++i) {
    const Step& step = plan.steps[i];
    if (!finishing) Before(Wait::Card);
    finishing = finishing || i >= plan.finishFrom;
    Bytes response;
    try {
      response = Send(step.command, step.escape, sent);
    } catch (const LinkError& e) {
      if (!step.escape || e.Fault() != LinkFault::Failed) throw;
      return Fail(Failure::CardError, std::string("escape command refused: ") + e.what() +
                                          " (the CCID driver takes it with ifdDriverOptions 0x0001 "
                                          "on Linux, with EscapeCommandEnable on Windows)");
    }
    if (step.escape) {  // E1 00 00 00 01 <status>
      if (response.size() < 2 || response[0] != 0xE1 || response[1] != 0x00)
        return Fail(Failure::CardError, "escape command answered " + HexBytes(response, true));
      continue;
    }
    if (response.size() < 2) return Fail(Failure::CardError, "response without a status word");
    const std::span<const std::uint8_t> body(response.data(), response.size() - 2);
    const std::uint16_t sw = StatusWord(response);
    if (sw >> 8 != 0x90 || (sw != 0x9000 && !step.anySw2))
      return Fail(Failure::CardError, "status word " + SwText(sw));
    if (step.pagesFrom >= 0 && body.size() == 4) {
      // One page, whatever Le asked: the block's other pages one by one.
      data.insert(data.end(), body.begin(), body.end());
      for (int page = step.pagesFrom + 1; page < step.pagesFrom + 4; ++page) {
        const Bytes next = Send(ReadBinary(page, 4), false, sent);
        const std::string at = "page " + std::to_string(page) + ": ";
        if (next.size() < 2 || StatusWord(next) != 0x9000)
          return Fail(Failure::CardError, at + "status word " + SwText(StatusWord(next)));
        // A page answered with more or fewer bytes than one page is not the page.
        if (next.size() != 6)
          return Fail(Failure::CardError, at + std::to_string(next.size() - 2) + " data bytes, expected 4");
        data.insert(data.end(), next.begin(), next.begin() + 4);
      }
      continue;
    }
    if (step.dataLength != kAnyLength && body.size() != step.dataLength)
      return Fail(Failure::CardError, std::to_string(body.size()) + " data bytes, expected " +
                                          std::to_string(step.dataLength));
    data.insert(data.end(), body.begin(), body.end());
  }
  if (plan.detect && !UidLengthFits(m_Card.standard, data.size()))
    return Fail(Failure::CardError, "UID of " + std::to_string(data.size()) + " bytes");
  if (data.size() > kMaxReplyData)
    return Fail(Failure::CardError, std::to_string(data.size()) + " data bytes do not fit a reply");
  return {std::nullopt, std::move(data), "done"};
}

}  // namespace rfid::pcsc
