// Carries out checked requests on the card of a reader whose card can serve
// them, keeping the connection from one exchange to the next.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "apdu.h"
#include "card_kind.h"
#include "card_link.h"
#include "reply.h"

namespace rfid::pcsc {

// What a checked frame came to on the card: success with its data, or the
// failure reason; the note says why, for the trace.
struct Result {
  std::optional<Failure> failure;  // nullopt: success
  Bytes data;
  std::string note;
};

std::string ReplyText(const Result& outcome);

struct Settings {
  // Only readers whose name contains this text; empty: every reader.
  std::string readerFilter;
  // Receives a line per APDU and per connection; empty: quiet.
  std::function<void(std::string_view)> trace;
  // Receives what an operator needs to know (which reader serves, what holds
  // a reader); empty: quiet.
  std::function<void(std::string_view)> notice;
  // Other programs that use PC/SC, for the notice about a reader in use.
  std::function<std::vector<std::string>()> otherPrograms;
};

// What a running exchange waits on when a PC/SC call does not return.
enum class Wait {
  Service,  // the service itself (listing readers)
  Reader,   // the reader: connecting, a transaction, the card's status
  Card,     // an APDU inside our own transaction
};

// Thrown by a Watch: the exchange has been answered already, nothing more of
// it may be sent.
struct Abandoned {};

class Watch {
 public:
  virtual ~Watch() = default;
  // Before each PC/SC call that may wait; throws Abandoned once the caller
  // has had its answer.
  virtual void Before(Wait wait, const std::string& reader) = 0;
};

using LinkFactory = std::function<std::unique_ptr<CardLink>()>;

class Session {
 public:
  explicit Session(LinkFactory factory) : m_Factory(std::move(factory)) {}
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Never throws: every link fault becomes a failure outcome, and an exchange
  // abandoned by watch ends (its transaction and connection released).
  Result Run(const CheckedFrame& request, const Settings& settings, Watch* watch = nullptr);

 private:
  // A read or write that must go to the reader of the last detected card.
  bool Pinned(const CheckedFrame& request) const;
  Result Attempt(const CheckedFrame& request, bool& sent);
  std::optional<Result> Choose(const CheckedFrame& request);
  Result Execute(const Plan& plan, bool& sent);
  // Loads the transport key as the reader takes it (once per connection)
  // and authenticates block with it; nullopt when that succeeded.
  std::optional<Result> Authenticate(int block, bool& sent);
  Bytes Send(const Bytes& command, bool escape, bool& sent);
  void SayBeep();
  void Drop();
  void Before(Wait wait);
  void Trace(const std::string& line) const;

  LinkFactory m_Factory;
  const Settings* m_Settings = nullptr;
  Watch* m_Watch = nullptr;
  std::unique_ptr<CardLink> m_Link;
  bool m_Connected = false;
  std::string m_Reader;
  std::string m_Filter;  // the filter the connection was chosen by
  std::string m_Served;  // the last notice of which reader serves
  Bytes m_Atr;
  CardInfo m_Card;
  // The reader whose card the last detect found, when that card holds
  // blocks; empty: reads and writes go to any reader's storage card.
  std::string m_Pinned;
  std::string m_PinnedFilter;
  // The key form each reader took, for the life of the process; the form
  // loaded on the connection there is now.
  std::map<std::string, std::size_t> m_KeyForms;
  std::optional<std::size_t> m_KeyLoaded;
  std::set<std::string> m_BeepSaid;  // readers whose beep the notices named
};

}  // namespace rfid::pcsc
