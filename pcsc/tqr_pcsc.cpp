// The reader library's two calls over PC/SC. Nothing leaves these functions
// as an exception: every fault is a failure reply or a zero.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define TQR_IMPLEMENTATION
#include "tqr_api.h"

#include "engine.h"
#include "exchange.h"
#include "keep_loaded.h"
#include "pcsc_link.h"

namespace {

using namespace rfid::pcsc;

// Longest send text we look at: anything longer is refused by its length.
constexpr std::size_t kSendScan = 64;

void ToStandardError(std::string_view line) {
  std::string out = "tqr_32 pcsc: ";
  out += line;
  out += '\n';
  std::fputs(out.c_str(), stderr);
}

Settings FromEnvironment() {
  Settings settings;
  if (auto reader = Setting("TQR_PCSC_READER")) settings.readerFilter = *reader;
  const auto debug = Setting("TQR_PCSC_DEBUG");
  if (debug && !debug->empty() && *debug != "0") settings.trace = ToStandardError;
  // Which reader serves and what holds a reader: always, for the operator.
  settings.notice = ToStandardError;
  settings.otherPrograms = OtherPcscPrograms;
  return settings;
}

// At exit its idle worker releases the PC/SC context. A worker left hanging
// in a PC/SC call is let go; the library is never unloaded, so its code
// stays.
Engine& TheEngine() {
  static const bool kept = (KeepLoaded(), true);
  (void)kept;
  static Engine engine(MakePcscLink, FromEnvironment);
  return engine;
}

void WriteReply(char* receive, const std::string& reply) {
  std::memcpy(receive, reply.data(), reply.size());
  if (reply.size() < rfid::kReplyLength) receive[reply.size()] = '\0';
}

}  // namespace

extern "C" {

TQR_EXPORT int16_t TQR_CALL tqr_device_find(void) {
  try {
    return TheEngine().DeviceFind() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

TQR_EXPORT int16_t TQR_CALL tqr_data_transceive_ex(const char* send, char* receive) {
  if (!receive) return -1;
  try {
    const std::string_view frame = send ? std::string_view(send, strnlen(send, kSendScan))
                                        : std::string_view();
    const std::string reply = TheEngine().Transceive(frame);
    WriteReply(receive, reply);
    return rfid::ReplyOk(reply) ? 0 : 1;
  } catch (...) {
    WriteReply(receive, rfid::FailureReply(rfid::Failure::Internal));
    return 1;
  }
}

}  // extern "C"
