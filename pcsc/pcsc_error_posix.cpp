#include "pcsc_error.h"

namespace rfid::pcsc {

std::string PcscErrorText(LONG rv) { return pcsc_stringify_error(rv); }

}  // namespace rfid::pcsc
