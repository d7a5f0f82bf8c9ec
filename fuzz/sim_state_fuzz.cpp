// The simulated reader's state file parser: any text is either refused with
// a StateError or read into a state that writes back to the same text, and
// that state stays readable after the reader has answered a frame on it.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_check.h"
#include "sim_reader.h"
#include "sim_state.h"

using namespace rfid;
using namespace rfid::sim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  State state;
  try {
    state = ParseState(text);
  } catch (const StateError&) {
    return 0;  // refused: the only way a bad file may end
  }
  const std::string written = FormatState(state);
  State again;
  try {
    again = ParseState(written);
  } catch (const StateError& e) {
    std::fprintf(stderr, "written state does not read back: %s\n%s", e.what(), written.c_str());
    std::abort();
  }
  FUZZ_CHECK(FormatState(again) == written);
  FUZZ_CHECK(again.goodBeeps == state.goodBeeps && again.exchanges == state.exchanges);
  FUZZ_CHECK(again.card.blocks == state.card.blocks && again.faults == state.faults);

  // Every kind of frame once: counters and faults move, the file stays good.
  for (const std::string& body : {GoodBeepBody(), ErrorBeepBody(), Detect14443Body(),
                                  ReadBody(1), WriteBody(1, "0012345678AAAAAA")}) {
    Respond(again, WithBcc(body), 1);
    try {
      ParseState(FormatState(again));
    } catch (const StateError& e) {
      std::fprintf(stderr, "state unreadable after an exchange: %s\n", e.what());
      std::abort();
    }
  }
  return 0;
}
