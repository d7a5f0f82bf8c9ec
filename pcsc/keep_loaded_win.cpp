#include <windows.h>

#include "keep_loaded.h"

namespace rfid::pcsc {

void KeepLoaded() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&KeepLoaded), &self);
}

}  // namespace rfid::pcsc
