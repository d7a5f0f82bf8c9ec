// What differs between the platforms' PC/SC services. One source file per
// platform implements this header and OtherPcscPrograms (pcsc_link.h).
#pragma once

#include <winscard.h>

#include <string>

namespace rfid::pcsc {

// The service's text for a result code: pcsc-lite's own on Linux, the
// system's message on Windows.
std::string PcscErrorText(LONG rv);

}  // namespace rfid::pcsc
