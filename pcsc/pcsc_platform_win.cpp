#include "pcsc_link.h"
#include "pcsc_platform.h"

#include <cstdio>

#include "win_text.h"

namespace rfid::pcsc {

std::string PcscErrorText(LONG rv) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(rv));
  return rfid::win::SystemMessage(DWORD(rv)) + " " + code;
}

// Which processes have winscard.dll loaded is not looked for on Windows: the
// notice about a reader in use names the reader only.
std::vector<std::string> OtherPcscPrograms() { return {}; }

}  // namespace rfid::pcsc
