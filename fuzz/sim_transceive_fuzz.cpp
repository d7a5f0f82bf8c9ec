// A frame into the simulated reader's tqr_data_transceive_ex, on a state
// the input chooses (reader, card, faults): the reply fits the program's
// buffer, is one of the replies the reader gives, a write that answers
// success stored its data, and the state file stays readable.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "fuzz_check.h"
#include "sim_state.h"
#include "tqr_api.h"

extern "C" int16_t tqr_data_transceive_ex(const char* send, char* receive);

using namespace rfid;
using namespace rfid::sim;

namespace {
std::string g_path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_path = rfid::fuzz::PrivateStateFile("tqr-sim-fuzz");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  State s = DefaultState();
  s.attached = in.ConsumeIntegralInRange<int>(0, 15) != 0;
  if (in.ConsumeBool()) {
    s.card.kind = CardKind::Iso15693;
    s.card.uid = DefaultUid(CardKind::Iso15693);
  }
  s.card.onField = in.ConsumeIntegralInRange<int>(0, 7) != 0;
  const std::uint8_t faults = in.ConsumeIntegral<std::uint8_t>();
  if (faults & 0x01) s.faults.lostWrite = {true, in.ConsumeIntegralInRange<int>(0, 2)};
  if (faults & 0x02) s.faults.wrongRead = {true, in.ConsumeIntegralInRange<int>(0, 2)};
  if (faults & 0x04) s.faults.garbage = {true, 0};
  if (faults & 0x08) s.faults.fail[in.PickValueInArray({0x43, 0x44, 0x52, 0x57})] = {true, 0};
  if (faults & 0x10) s.goodBeeps = kMaxBeeps - in.ConsumeIntegralInRange<int>(0, 1);
  if (faults & 0x20) s.exchanges = kMaxExchanges - in.ConsumeIntegralInRange<int>(0, 1);
  // The overlong fault writes past the 40 characters on purpose (callers must
  // survive it) and the delay only waits: neither is set here.
  const bool fixCheckByte = in.ConsumeBool();
  const int blocksSet = in.ConsumeIntegralInRange<int>(0, 2);
  for (int i = 0; i < blocksSet; ++i)
    s.card.SetBlock(in.ConsumeIntegral<std::uint8_t>(), "0012345678AAAAAA2020202020202020");
  StateStore store(g_path);
  store.Replace(s);

  std::string frame = in.ConsumeRemainingBytesAsString();
  frame = frame.substr(0, frame.find('\0'));
  if (fixCheckByte && frame.size() == kFrameLength)
    frame = WithBcc(std::string_view(frame).substr(0, kFrameBodyLength));

  const fuzz::BufferReply reply = fuzz::CallWithProgramBuffer(tqr_data_transceive_ex, frame.c_str());
  const State after = store.Load();  // throws (and so fails) when the file is spoiled
  if (!s.attached) {
    FUZZ_CHECK(!reply.written && reply.result == -1);
    return 0;
  }
  FUZZ_CHECK(reply.written);
  FUZZ_CHECK((reply.result == 0) == ReplyOk(reply.text));
  FUZZ_CHECK(after.exchanges >= s.exchanges && after.exchanges <= kMaxExchanges);
  if (s.faults.garbage.on) {
    FUZZ_CHECK(!ReplyOk(reply.text));
    return 0;
  }
  FUZZ_CHECK(fuzz::WellFormedReply(reply.text));

  const auto checked = CheckFrame(frame);
  const auto* request = std::get_if<CheckedFrame>(&checked);
  if (!request) {
    FUZZ_CHECK(!ReplyOk(reply.text));
    FUZZ_CHECK(after.card.blocks == s.card.blocks);
    return 0;
  }
  const int block = request->parameter;
  if (request->command == Command::Write) {
    std::string data = *NormalizeHex(frame.substr(4, kBlockHexLength), kBlockHexLength);
    if (ReplyOk(reply.text) && !s.faults.lostWrite.on) FUZZ_CHECK(after.card.Block(block) == data);
    if (!ReplyOk(reply.text)) FUZZ_CHECK(after.card.blocks == s.card.blocks);
  } else {
    FUZZ_CHECK(after.card.blocks == s.card.blocks);
  }
  if (request->command == Command::Read && ReplyOk(reply.text)) {
    const std::string data = ReplyField(reply.text, kBlockDataStart, kBlockHexLength);
    FUZZ_CHECK((data == s.card.Block(block)) == !s.faults.wrongRead.on);
  }
  return 0;
}
