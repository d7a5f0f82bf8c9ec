// One exchange with a reader library: the frame goes out as single-byte text,
// the reply comes back from a fresh 40-character buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "code_page.h"

namespace rfid {

inline constexpr std::size_t kReplyLength = 40;

// The two calls of a reader library, as the program sees them. The product
// uses a bound library; tests put a scripted fake here.
class Reader {
 public:
  virtual ~Reader() = default;
  virtual std::int16_t DeviceFind() = 0;
  virtual std::int16_t DataTransceiveEx(const char* send, char* receive) = 0;
  // Once a call has reached it: the reader library's full path (empty for
  // a reader that is no library), and whether it is our simulated reader.
  virtual std::string LibraryPath() const { return {}; }
  virtual bool Simulated() const { return false; }
};

struct ExchangeResult {
  // Exactly kReplyLength characters: what the library wrote, NULs after it,
  // spaces where the conversion gave fewer characters.
  std::u16string reply;
  // The library wrote past the 40 characters it may use.
  bool overrun = false;
};

// Sends frame (already single-byte text) and returns the reply.
ExchangeResult Exchange(Reader& reader, const std::string& frame);

// The reply as far as its first NUL: what a text box shows of it.
std::u16string UpToNul(const std::u16string& reply);

}  // namespace rfid
