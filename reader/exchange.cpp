#include "exchange.h"

#include <algorithm>
#include <vector>

namespace rfid {

namespace {
// Room beyond the 40 reply characters and their NUL, so that a library that
// overruns the buffer writes into slack we own and never read as reply.
constexpr std::size_t kGuard = 4096;
}  // namespace

ExchangeResult Exchange(Reader& reader, const std::string& frame) {
  std::vector<char> buffer(kReplyLength + 1 + kGuard, '\0');
  reader.DataTransceiveEx(frame.c_str(), buffer.data());
  ExchangeResult result;
  result.overrun = std::any_of(buffer.begin() + kReplyLength, buffer.end(),
                               [](char c) { return c != '\0'; });
  result.reply = DecodeLocal8Bit(buffer.data(), kReplyLength);
  if (result.reply.size() < kReplyLength) result.reply.resize(kReplyLength, u' ');
  if (result.reply.size() > kReplyLength) result.reply.resize(kReplyLength);
  return result;
}

std::u16string UpToNul(const std::u16string& reply) {
  return reply.substr(0, reply.find(u'\0'));
}

}  // namespace rfid
