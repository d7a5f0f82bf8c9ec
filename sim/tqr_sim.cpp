// The simulated reader library: the two calls of a reader library, answered
// from the state file. Each exchange is one locked read-modify-write of the
// state, so several processes can share the simulated card.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "sim_reader.h"
#include "sim_state.h"

#define TQR_IMPLEMENTATION
#include "tqr_api.h"

namespace {

using namespace rfid::sim;

// A frame is 38 characters; never scan an unterminated buffer for ever.
constexpr std::size_t kFrameScanLimit = 4096;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The only way a broken state file shows besides the failure replies: once
// per distinct message, so a caller in a loop does not flood its terminal.
void Complain(const char* message) {
  static std::mutex mutex;
  static std::string last;
  std::lock_guard<std::mutex> lock(mutex);
  if (last == message) return;
  last = message;
  std::fprintf(stderr, "tqr-sim: %s\n", message);
}

}  // namespace

extern "C" {

int16_t TQR_CALL tqr_device_find(void) {
  try {
    return StateStore(StatePath()).Load().attached ? 1 : 0;
  } catch (const std::exception& e) {
    Complain(e.what());
  } catch (...) {
    Complain("unexpected error");
  }
  return 0;
}

// Returns 0 for a success reply, 1 for any other reply, -1 when nothing was
// written (no reader, or no buffer).
int16_t TQR_CALL tqr_data_transceive_ex(const char* send, char* receive) {
  Response out;
  int delayMs = 0;
  try {
    const std::string frame = send ? std::string(send, strnlen(send, kFrameScanLimit)) : "";
    StateStore(StatePath()).Update([&](State& state) {
      out = Respond(state, frame, NowMs());
      delayMs = state.faults.delayMs;
    });
  } catch (const std::exception& e) {
    Complain(e.what());
    out = Response{true, FailureReply(Failure::State), ""};
    delayMs = 0;
  } catch (...) {
    Complain("unexpected error");
    out = Response{true, FailureReply(Failure::State), ""};
    delayMs = 0;
  }
  // Outside the lock: a slow reader must not hold up the other processes.
  if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  if (!receive || !out.written) return -1;
  std::memcpy(receive, out.reply.data(), out.reply.size());
  if (out.reply.size() != 40) receive[out.reply.size()] = '\0';
  return out.reply.rfind("41", 0) == 0 ? 0 : 1;
}

int16_t TQR_CALL tqr_simulated_reader(void) { return 1; }

}  // extern "C"
