// The few PC/SC services the reader library needs, behind an interface of
// our own so that the card logic runs against a scripted link in tests.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace rfid::pcsc {

using Bytes = std::vector<std::uint8_t>;

enum class LinkFault {
  // The handle or context no longer holds (card removed or reset since the
  // last exchange, service restarted): nothing reached the card.
  Stale,
  NoService,
  NoReader,
  // The card went away or stopped working while we talked to it.
  Lost,
  Failed,
  // Another program holds the reader exclusively.
  InUse,
};

class LinkError : public std::runtime_error {
 public:
  LinkError(LinkFault fault, const std::string& what) : std::runtime_error(what), m_Fault(fault) {}
  LinkFault Fault() const { return m_Fault; }

 private:
  LinkFault m_Fault;
};

// What the service tells of a reader without connecting to it.
struct ReaderState {
  std::string name;
  bool card = false;       // a card that answered its reset lies on it
  bool exclusive = false;  // another program holds it exclusively
  Bytes atr;
};

// One connection to the reader service; at most one card handle at a time.
// Every call but Disconnect and EndTransaction throws LinkError. While
// another program keeps a card in a transaction, every call on that card
// (Connect included) waits until the transaction ends.
class CardLink {
 public:
  virtual ~CardLink() = default;
  virtual std::vector<std::string> ListReaders() = 0;
  // Every reader and its card; never waits for another program.
  virtual std::vector<ReaderState> Survey() = 0;
  // The card's ATR, or nullopt when the reader holds no card we may use.
  // Throws (InUse) when another program holds the reader exclusively.
  virtual std::optional<Bytes> Connect(const std::string& reader) = 0;
  virtual void Disconnect() = 0;
  // Throws (Stale) when the card connected to is no longer the one there.
  virtual void CheckCard() = 0;
  virtual void BeginTransaction() = 0;
  virtual void EndTransaction() = 0;
  // The whole response, status word included.
  virtual Bytes Transmit(const Bytes& command) = 0;
  // A command for the reader itself, through SCardControl with the CCID
  // escape code; its response. Throws LinkError (Failed) when the driver
  // takes no escape commands.
  virtual Bytes Control(const Bytes& command) {
    (void)command;
    throw LinkError(LinkFault::Failed, "this link sends no escape commands");
  }
};

}  // namespace rfid::pcsc
