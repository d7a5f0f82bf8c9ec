// Carries out checked requests on the card of the first reader that holds
// one, keeping the connection from one exchange to the next.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "apdu.h"
#include "card_kind.h"
#include "card_link.h"
#include "request.h"

namespace rfid::pcsc {

struct Outcome {
  std::optional<Failure> failure;  // nullopt: success
  Bytes data;
  std::string note;
};

std::string ReplyText(const Outcome& outcome);

struct Settings {
  // Only readers whose name contains this text; empty: every reader.
  std::string readerFilter;
  // Receives a line per APDU and per connection; empty: quiet.
  std::function<void(std::string_view)> trace;
};

using LinkFactory = std::function<std::unique_ptr<CardLink>()>;

class Session {
 public:
  explicit Session(LinkFactory factory) : factory_(std::move(factory)) {}
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Never throws LinkError: every link fault becomes a failure outcome.
  Outcome Run(const Request& request, const Settings& settings);

 private:
  Outcome Attempt(const Request& request, bool& sent);
  std::optional<Outcome> Connect();
  Outcome Execute(const Plan& plan, bool& sent);
  void Drop();
  void Trace(const std::string& line) const;

  LinkFactory factory_;
  const Settings* settings_ = nullptr;
  std::unique_ptr<CardLink> link_;
  bool connected_ = false;
  std::string reader_;
  std::string filter_;  // the filter the connection was chosen by
  CardInfo card_;
};

}  // namespace rfid::pcsc
