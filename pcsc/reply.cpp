#include "reply.h"

#include <stdexcept>

namespace rfid::pcsc {

std::string SuccessReply(std::span<const std::uint8_t> data) {
  if (data.size() > kMaxReplyData)
    throw std::length_error(std::to_string(data.size()) + " data bytes do not fit a reply");
  std::string hex;
  for (std::uint8_t b : data) hex += ByteText(b);
  return rfid::SuccessReply(hex);
}

}  // namespace rfid::pcsc
