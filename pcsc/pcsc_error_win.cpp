#include "pcsc_error.h"

#include <cstdio>

#include "win_text.h"

namespace rfid::pcsc {

std::string PcscErrorText(LONG rv) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(rv));
  return rfid::win::SystemMessage(DWORD(rv)) + " " + code;
}

}  // namespace rfid::pcsc
