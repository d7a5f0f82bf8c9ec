#include "keep_loaded.h"

namespace rfid::pcsc {

void KeepLoaded() {}  // linked with -z nodelete

}  // namespace rfid::pcsc
