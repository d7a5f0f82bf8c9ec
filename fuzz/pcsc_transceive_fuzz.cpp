// Frames into the PC/SC reader library's tqr_data_transceive_ex, the
// library's own code, with its PC/SC link replaced by a scripted card (a
// Classic 1K or 4K, an Ultralight, an NTAG215 or an ISO 15693 card, or none): the reply fits
// the program's buffer and is one the library gives, and a write that
// answers success left its 16 bytes on the card.
#include <fuzzer/FuzzedDataProvider.h>

#include <mutex>

#include "fuzz_check.h"
#include "apdu.h"
#include "pcsc_link.h"
#include "reply.h"
#include "virtual_card.h"

extern "C" int16_t tqr_data_transceive_ex(const char* send, char* receive);

using namespace rfid;
using namespace rfid::pcsc;

namespace {

// The card on the one reader; a new input lays a new card, which the
// library's open handle sees as a reset card (stale), as on a real reader.
struct Field {
  std::mutex mutex;
  std::unique_ptr<rig::CardModel> card;
  int generation = 0;
};
Field g_field;

class ScriptedLink final : public CardLink {
 public:
  std::vector<std::string> ListReaders() override { return {"Fuzz Reader 0"}; }
  std::vector<ReaderState> Survey() override {
    std::lock_guard lock(g_field.mutex);
    ReaderState state;
    state.name = "Fuzz Reader 0";
    state.card = g_field.card != nullptr;
    if (g_field.card) state.atr = g_field.card->Atr();
    return {state};
  }
  std::optional<Bytes> Connect(const std::string&) override {
    std::lock_guard lock(g_field.mutex);
    if (!g_field.card) return std::nullopt;
    generation_ = g_field.generation;
    g_field.card->Reset();
    return g_field.card->Atr();
  }
  void Disconnect() override { generation_ = -1; }
  void CheckCard() override {
    std::lock_guard lock(g_field.mutex);
    Check();
  }
  void BeginTransaction() override {
    std::lock_guard lock(g_field.mutex);
    Check();
  }
  void EndTransaction() override {}
  Bytes Transmit(const Bytes& command) override {
    std::lock_guard lock(g_field.mutex);
    Check();
    return g_field.card->Respond(command);
  }

 private:
  void Check() const {
    if (!g_field.card || generation_ != g_field.generation)
      throw LinkError(LinkFault::Stale, "the card was changed");
  }
  int generation_ = -1;
};

// Block N as the card gives it out: a Classic trailer's key A reads as
// zeros, an NTAG's password and PACK pages too, and Ultralight reads roll
// over past the last page.
Bytes AsRead(const rig::CardModel& card, int block) {
  Bytes out;
  for (std::size_t i = 0; i < 16; ++i) {
    const std::size_t at = (std::size_t(block) * 16 + i) % card.Size();
    const std::size_t page = at / 4;
    const bool hidden = card.Type() == rig::CardType::Ntag215 &&
                        (page == rig::kNtagPwdPage || page == rig::kNtagPackPage);
    out.push_back(hidden ? 0x00 : card.Read(at, 1)[0]);
  }
  const bool classic = card.Type() == rig::CardType::Classic1K || card.Type() == rig::CardType::Classic4K;
  // Trailers: every fourth block in the first 32 sectors, every sixteenth after.
  if (classic && (block < 128 ? block % 4 == 3 : block % 16 == 15))
    std::fill(out.begin(), out.begin() + 6, 0x00);
  return out;
}

}  // namespace

namespace rfid::pcsc {
std::unique_ptr<CardLink> MakePcscLink() { return std::make_unique<ScriptedLink>(); }
std::vector<std::string> OtherPcscPrograms() { return {}; }
std::optional<std::string> Setting(const char*) { return std::nullopt; }
}  // namespace rfid::pcsc

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  {
    std::lock_guard lock(g_field.mutex);
    const int kind = in.ConsumeIntegralInRange<int>(0, 5);  // the rig's five cards, or none
    g_field.card = kind == 5 ? nullptr
                             : std::make_unique<rig::CardModel>(rig::CardType(kind));
    ++g_field.generation;
  }
  for (int round = 0; round < 4 && in.remaining_bytes() > 0; ++round) {
    const bool fixCheckByte = in.ConsumeBool();
    std::string frame = in.ConsumeRandomLengthString(80);
    frame = frame.substr(0, frame.find('\0'));
    if (fixCheckByte && frame.size() == kFrameLength)
      frame = WithBcc(std::string_view(frame).substr(0, kFrameBodyLength));

    const fuzz::BufferReply reply =
        fuzz::CallWithProgramBuffer(tqr_data_transceive_ex, frame.c_str());
    FUZZ_CHECK(reply.written);
    FUZZ_CHECK(fuzz::WellFormedReply(reply.text));
    FUZZ_CHECK((reply.result == 0) == ReplyOk(reply.text));
    if (!ReplyOk(reply.text)) continue;

    const auto checked = rfid::CheckFrame(frame);
    const auto* request = std::get_if<CheckedFrame>(&checked);
    FUZZ_CHECK(request != nullptr);  // success only for a frame a reader takes
    std::lock_guard lock(g_field.mutex);
    FUZZ_CHECK(g_field.card != nullptr);
    if (request->command == Command::Write) {
      const std::size_t at = std::size_t(request->parameter) * 16;
      FUZZ_CHECK(at + 16 <= g_field.card->Size());
      const Bytes stored = g_field.card->Read(at, 16);
      FUZZ_CHECK(std::equal(stored.begin(), stored.end(), request->data.begin()));
    }
    if (request->command == Command::Read) {
      FUZZ_CHECK(reply.text.size() == 4 + 32 + 2);
      FUZZ_CHECK(reply.text.substr(4, 32) == HexBytes(AsRead(*g_field.card, request->parameter), false));
    }
  }
  return 0;
}
