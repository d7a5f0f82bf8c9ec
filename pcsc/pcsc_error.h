// The PC/SC service's text for a result code: pcsc-lite's own on Linux, the
// system's message on Windows. One source file per platform implements it.
#pragma once

#include <winscard.h>

#include <string>

namespace rfid::pcsc {

std::string PcscErrorText(LONG rv);

}  // namespace rfid::pcsc
