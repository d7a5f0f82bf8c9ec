// What every harness shares: an invariant check that stops the fuzzer with
// the broken rule, and the check of a reply written into a reader
// library's receive buffer.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "exchange.h"
#include "frame.h"

#define FUZZ_CHECK(condition)                                                              \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                        \
    }                                                                                      \
  } while (0)

namespace rfid::fuzz {

// What one call of tqr_data_transceive_ex left in the program's buffer.
struct BufferReply {
  int result = 0;
  bool written = false;  // false: the buffer is as it was before the call
  std::string text;      // up to the first NUL
};

// The program hands the library 41 bytes: 40 for the reply and the NUL it
// put after them. The fill byte (0xFF) never appears in a reply our libraries
// write, so a reply that was not ended with a NUL shows. The buffer is on the
// heap so that AddressSanitizer catches any write past it.
template <class Transceive>
BufferReply CallWithProgramBuffer(Transceive transceive, const char* frame) {
  constexpr std::size_t kSize = rfid::kReplyLength + 1;
  const std::unique_ptr<char[]> buffer(new char[kSize]);
  std::memset(buffer.get(), 0xFF, kSize - 1);
  buffer[kSize - 1] = '\0';
  BufferReply out;
  out.result = transceive(frame, buffer.get());
  const std::size_t length = strnlen(buffer.get(), kSize);
  FUZZ_CHECK(length < kSize);  // NUL-terminated inside the 41 bytes, at most 40 characters
  bool untouched = length == kSize - 1;
  for (std::size_t i = 0; i < length; ++i) untouched = untouched && buffer[i] == '\xFF';
  out.written = !untouched;
  if (out.written) {
    for (std::size_t i = 0; i < length; ++i) FUZZ_CHECK(buffer[i] != '\xFF');
    out.text.assign(buffer.get(), length);
  }
  return out;
}

// "41" "00" data (hex digits) and a check byte, or "4E", a reason byte and a
// check byte: the only replies our libraries give.
inline bool WellFormedReply(const std::string& reply) {
  if (reply.size() < 6 || reply.size() % 2 != 0) return false;
  for (char c : reply)
    if (!IsHexDigit(c) || (c >= 'a' && c <= 'f')) return false;
  const std::string body = reply.substr(0, reply.size() - 2);
  if (Bcc(body) != reply.substr(reply.size() - 2)) return false;
  if (reply.rfind("4100", 0) == 0) return true;
  return reply.rfind("4E", 0) == 0 && reply.size() == 6;
}

// A simulated card of the harness's own, in a fresh folder (on a tmpfs when
// there is one: every exchange rewrites the state file), named in
// TQR_SIM_STATE and removed at exit. Returns the state file's path.
inline const std::string& PrivateStateFile(const std::string& name) {
  static std::string path;
  std::string pattern = (std::filesystem::exists("/dev/shm") ? "/dev/shm/" : "/tmp/") + name + ".XXXXXX";
  if (!mkdtemp(pattern.data())) std::abort();
  path = pattern + "/state";
  setenv("TQR_SIM_STATE", path.c_str(), 1);
  std::atexit([] { std::filesystem::remove_all(std::filesystem::path(path).parent_path()); });
  return path;
}

}  // namespace rfid::fuzz
