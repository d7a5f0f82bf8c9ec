// Any card answers into the PC/SC session: an ATR, responses of any length
// with any status word, link faults. A success outcome only ever comes from
// responses that ended in 90 00 (90 and any second byte for the beep, which
// readers use for their LED state; key forms refused before the one that
// served aside), its data is exactly what the read and get-data responses
// carried, a read gives 16 bytes, and a write succeeds only after its 16
// bytes went out in UPDATE BINARY commands.
#include <fuzzer/FuzzedDataProvider.h>

#include <map>

#include "fuzz_check.h"
#include "session.h"
#include "virtual_card.h"

using namespace rfid;
using namespace rfid::pcsc;

namespace {

struct Sent {
  Bytes command;
  Bytes response;
};

class FuzzLink final : public CardLink {
 public:
  FuzzLink(FuzzedDataProvider& in, std::vector<Sent>& log) : in_(in), log_(log) {}
  std::vector<std::string> ListReaders() override {
    MaybeFail();
    std::vector<std::string> readers;
    const int n = in_.ConsumeIntegralInRange<int>(0, 2);
    for (int i = 0; i < n; ++i) readers.push_back("Reader " + std::to_string(i));
    return readers;
  }
  std::vector<ReaderState> Survey() override {
    MaybeFail();
    std::vector<ReaderState> readers;
    const int n = in_.ConsumeIntegralInRange<int>(0, 2);
    for (int i = 0; i < n; ++i) {
      ReaderState r;
      r.name = "Reader " + std::to_string(i);
      r.card = in_.ConsumeBool();
      r.exclusive = in_.ConsumeIntegralInRange<int>(0, 7) == 0;
      if (r.card) r.atr = Atr().value_or(Bytes());
      readers.push_back(r);
    }
    return readers;
  }
  std::optional<Bytes> Connect(const std::string&) override {
    MaybeFail();
    return Atr();
  }
  std::optional<Bytes> Atr() {
    switch (in_.ConsumeIntegralInRange<int>(0, 5)) {
      case 0: return std::nullopt;
      case 1: return rig::StorageAtr(0x03, 0x0001);  // Classic 1K
      case 2: return rig::StorageAtr(0x03, 0x0002);  // Classic 4K
      case 3: return rig::StorageAtr(0x03, 0x0003);  // Ultralight
      case 4: return rig::StorageAtr(0x0B, 0x0014);  // ISO 15693
      default: {
        const std::string raw = in_.ConsumeRandomLengthString(40);
        return Bytes(raw.begin(), raw.end());
      }
    }
  }
  void Disconnect() override {}
  void CheckCard() override { MaybeFail(); }
  void BeginTransaction() override { MaybeFail(); }
  void EndTransaction() override {}
  Bytes Transmit(const Bytes& command) override {
    MaybeFail();
    Bytes response;
    if (in_.ConsumeBool()) {
      // A well-formed answer: some data and 90 00, the common case.
      const std::size_t n = in_.ConsumeIntegralInRange<std::size_t>(0, 20);
      for (std::size_t i = 0; i < n; ++i) response.push_back(in_.ConsumeIntegral<std::uint8_t>());
      response.push_back(0x90);
      response.push_back(in_.ConsumeBool() ? 0x00 : in_.ConsumeIntegral<std::uint8_t>());
    } else {
      const std::string raw = in_.ConsumeRandomLengthString(40);
      response.assign(raw.begin(), raw.end());
    }
    log_.push_back({command, response});
    return response;
  }

 private:
  void MaybeFail() {
    if (in_.ConsumeIntegralInRange<int>(0, 15) != 0) return;
    throw LinkError(LinkFault(in_.ConsumeIntegralInRange<int>(0, int(LinkFault::InUse))), "scripted fault");
  }
  FuzzedDataProvider& in_;
  std::vector<Sent>& log_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  std::vector<Sent> log;
  Session session([&] { return std::make_unique<FuzzLink>(in, log); });
  Settings settings;
  for (int round = 0; round < 3 && in.remaining_bytes() > 0; ++round) {
    CheckedFrame request;
    request.command =
        in.PickValueInArray({Command::Read, Command::Write, Command::Beep, Command::Detect});
    request.parameter = in.ConsumeIntegral<std::uint8_t>();
    if (request.command == Command::Beep || request.command == Command::Detect)
      request.parameter = in.ConsumeBool() ? 1 : 2;
    for (auto& b : request.data) b = in.ConsumeIntegral<std::uint8_t>();

    log.clear();
    const Result outcome = session.Run(request, settings);
    const std::string reply = ReplyText(outcome);
    FUZZ_CHECK(reply.size() <= kReplyLength);
    FUZZ_CHECK(fuzz::WellFormedReply(reply));
    FUZZ_CHECK(ReplyOk(reply) == !outcome.failure.has_value());
    if (outcome.failure) continue;

    FUZZ_CHECK(!log.empty());  // success only from what the card answered
    Bytes carried;
    // What each address holds once the updates are done: a block written
    // page by page marks its first page before its data comes last.
    std::map<int, Bytes> updated;
    // A key load or authenticate refused under one key form is tried under
    // the next; the last authenticate is the one the data went under.
    const Sent* lastAuthenticate = nullptr;
    for (const Sent& e : log) {
      const bool keyStep = e.command.size() > 1 && e.command[0] == 0xFF &&
                           (e.command[1] == 0x82 || e.command[1] == 0x86);
      if (keyStep && e.command[1] == 0x86) lastAuthenticate = &e;
      if (keyStep && &e != &log.back()) continue;
      FUZZ_CHECK(e.response.size() >= 2);
      const std::uint8_t sw1 = e.response[e.response.size() - 2];
      const std::uint8_t sw2 = e.response.back();
      FUZZ_CHECK(sw1 == 0x90);
      if (request.command != Command::Beep) FUZZ_CHECK(sw2 == 0x00);
      // Only READ BINARY and GET DATA carry the card's bytes; whatever else
      // a reader puts before 90 00 (a key load's or authenticate's) is not data.
      const bool reads = e.command.size() > 1 && e.command[0] == 0xFF &&
                         (e.command[1] == 0xB0 || e.command[1] == 0xCA);
      if (reads) carried.insert(carried.end(), e.response.begin(), e.response.end() - 2);
      // UPDATE BINARY: FF D6 P1 P2 Lc data
      if (e.command.size() > 5 && e.command[0] == 0xFF && e.command[1] == 0xD6)
        updated[e.command[2] << 8 | e.command[3]] = Bytes(e.command.begin() + 5, e.command.end());
    }
    if (lastAuthenticate) {
      const Bytes& r = lastAuthenticate->response;
      FUZZ_CHECK(r.size() >= 2 && r[r.size() - 2] == 0x90 && r.back() == 0x00);
    }
    Bytes written;
    for (const auto& [address, bytes] : updated) written.insert(written.end(), bytes.begin(), bytes.end());
    FUZZ_CHECK(outcome.data == carried);
    switch (request.command) {
      case Command::Read: FUZZ_CHECK(outcome.data.size() == 16); break;
      case Command::Write:
        FUZZ_CHECK(outcome.data.empty());
        FUZZ_CHECK(written == Bytes(request.data.begin(), request.data.end()));
        break;
      case Command::Detect:
        FUZZ_CHECK(outcome.data.size() == 4 || outcome.data.size() == 7 ||
                   outcome.data.size() == 8 || outcome.data.size() == 10);
        break;
      case Command::Beep: FUZZ_CHECK(outcome.data.empty()); break;
    }
  }
  return 0;
}
