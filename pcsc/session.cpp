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
  auto plan = PlanFor(request, m_Card);
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
    auto plan = PlanFor(request, IdentifyCard(firstCard->atr));
    if (auto* refusal = std::get_if<Refusal>(&plan))
      return Fail(refusal->failure, "reader \"" + firstCard->name + "\": " + refusal->why);
  }
  return Fail(Failure::NoCard, "no card on any reader");
}

Result Session::Execute(const Plan& plan, bool& sent) {
  // Every exchange is one transaction: another program's transaction makes
  // us wait here, before anything is sent, never in the middle.
  Before(Wait::Reader);
  TransactionGuard hold(*m_Link);
  Bytes data;
  // Once a block's first page has gone out its other pages follow, also
  // when the caller has had its answer: a block is never left half old,
  // half new.
  bool finishing = false;
  for (std::size_t i = 0; i < plan.steps.size(); ++i) {
    const Step& step = plan.steps[i];
    if (!finishing) Before(Wait::Card);
    finishing = finishing || i >= plan.finishFrom;
    Trace("> " + HexBytes(step.command, true));
    const Bytes response = m_Link->Transmit(step.command);
    sent = true;
    if (response.size() < 2) {
      Trace("< " + HexBytes(response, true) + " (no status word)");
      return Fail(Failure::CardError, "response without a status word");
    }
    const std::span<const std::uint8_t> body(response.data(), response.size() - 2);
    const std::string sw = HexBytes(std::span(response).last(2), true);
    Trace("< " + (body.empty() ? std::string() : HexBytes(body, true) + " ") + "SW " + sw);
    if (response[response.size() - 2] != 0x90 || (response.back() != 0x00 && !step.anySw2))
      return Fail(Failure::CardError, "status word " + sw);
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
