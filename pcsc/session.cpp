#include "session.h"

namespace rfid::pcsc {

namespace {
Outcome Fail(Failure failure, std::string note) { return {failure, {}, std::move(note)}; }

Failure FailureOf(LinkFault fault) {
  switch (fault) {
    case LinkFault::NoService:
    case LinkFault::NoReader: return Failure::NoReader;
    case LinkFault::Stale:
    case LinkFault::Lost: return Failure::Lost;
    case LinkFault::Failed: break;
  }
  return Failure::CardError;
}

class TransactionGuard {
 public:
  TransactionGuard(CardLink& link, bool hold) : link_(hold ? &link : nullptr) {
    if (link_) link_->BeginTransaction();
  }
  ~TransactionGuard() {
    if (link_) link_->EndTransaction();
  }
  TransactionGuard(const TransactionGuard&) = delete;
  TransactionGuard& operator=(const TransactionGuard&) = delete;

 private:
  CardLink* link_;
};
}  // namespace

std::string ReplyText(const Outcome& outcome) {
  if (outcome.failure) return FailureReply(*outcome.failure);
  return SuccessReply(outcome.data);
}

Session::~Session() { Drop(); }

void Session::Trace(const std::string& line) const {
  if (settings_ && settings_->trace) settings_->trace(line);
}

void Session::Drop() {
  if (link_ && connected_) link_->Disconnect();
  connected_ = false;
  link_.reset();
}

Outcome Session::Run(const Request& request, const Settings& settings) {
  settings_ = &settings;
  for (int attempt = 0;; ++attempt) {
    bool sent = false;
    try {
      Outcome outcome = Attempt(request, sent);
      settings_ = nullptr;
      return outcome;
    } catch (const LinkError& e) {
      Trace(std::string("link: ") + e.what());
      Drop();
      // A handle gone stale since the last exchange reached no card: connect
      // afresh and try once more.
      if (e.Fault() == LinkFault::Stale && !sent && attempt == 0) continue;
      settings_ = nullptr;
      return Fail(FailureOf(e.Fault()), e.what());
    }
  }
}

Outcome Session::Attempt(const Request& request, bool& sent) {
  if (connected_ && settings_->readerFilter != filter_) {
    link_->Disconnect();  // another reader is asked for now
    connected_ = false;
  }
  const bool earlier = connected_;
  if (!connected_)
    if (auto failed = Connect()) return *failed;
  auto plan = PlanFor(request, card_);
  if (auto* refusal = std::get_if<Refusal>(&plan)) {
    // Refused by what we knew of the card: make sure it is still that card.
    if (earlier) link_->CheckCard();
    return Fail(refusal->failure, "nothing sent: " + refusal->why);
  }
  return Execute(std::get<Plan>(plan), sent);
}

std::optional<Outcome> Session::Connect() {
  if (!link_) link_ = factory_();
  const std::string& filter = settings_->readerFilter;
  bool anyReader = false;
  for (const std::string& name : link_->ListReaders()) {
    if (!filter.empty() && name.find(filter) == std::string::npos) continue;
    anyReader = true;
    if (auto atr = link_->Connect(name)) {
      connected_ = true;
      reader_ = name;
      filter_ = filter;
      card_ = IdentifyCard(*atr);
      Trace("reader \"" + name + "\": ATR " + HexBytes(*atr, true) + " (" + card_.Describe() + ")");
      return std::nullopt;
    }
  }
  if (!anyReader)
    return Fail(Failure::NoReader,
                filter.empty() ? "no reader attached" : "no reader named like \"" + filter + "\"");
  return Fail(Failure::NoCard, "no card on any reader");
}

Outcome Session::Execute(const Plan& plan, bool& sent) {
  TransactionGuard hold(*link_, plan.steps.size() > 1);
  Bytes data;
  for (const Step& step : plan.steps) {
    Trace("> " + HexBytes(step.command, true));
    const Bytes response = link_->Transmit(step.command);
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
  if (plan.detect && !UidLengthFits(card_.standard, data.size()))
    return Fail(Failure::CardError, "UID of " + std::to_string(data.size()) + " bytes");
  if (data.size() > kMaxReplyData)
    return Fail(Failure::CardError, std::to_string(data.size()) + " bytes do not fit a reply");
  return {std::nullopt, std::move(data), "done"};
}

}  // namespace rfid::pcsc
