#include "request.h"

namespace rfid::pcsc {

std::variant<Request, FrameFault> CheckFrame(std::string_view frame) {
  auto checked = rfid::CheckFrame(frame);
  if (auto* refusal = std::get_if<FrameRefusal>(&checked))
    return FrameFault{Failure(int(refusal->error)), std::move(refusal->why)};
  return std::get<CheckedFrame>(checked);
}

std::string SuccessReply(std::span<const std::uint8_t> data) {
  if (data.size() > kMaxReplyData)
    throw std::length_error(std::to_string(data.size()) + " data bytes do not fit a reply");
  std::string hex;
  for (std::uint8_t b : data) hex += ByteText(b);
  return rfid::SuccessReply(hex);
}

}  // namespace rfid::pcsc
