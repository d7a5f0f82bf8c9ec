// What both platforms' rigs do through PC/SC itself.
#include <winscard.h>

#include "pcsc_rig.h"

namespace rfid::pcsc::rig {

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

bool PcscRig::WaitForCard(const std::string& reader, bool present,
                          std::chrono::milliseconds timeout) const {
  SCARDCONTEXT context;
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
    return false;
  const auto deadline = Clock::now() + timeout;
  SCARD_READERSTATE state{};
  state.szReader = reader.c_str();
  state.dwCurrentState = SCARD_STATE_UNAWARE;
  bool reached = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() < 0) break;
    const LONG rv = SCardGetStatusChange(context, DWORD(left.count()), &state, 1);
    if (rv != SCARD_S_SUCCESS && rv != SCARD_E_TIMEOUT) break;
    const bool has = (state.dwEventState & SCARD_STATE_PRESENT) &&
                     !(state.dwEventState & SCARD_STATE_MUTE);
    if (has == present) {
      reached = true;
      break;
    }
    if (rv == SCARD_E_TIMEOUT) break;
    state.dwCurrentState = state.dwEventState & ~DWORD(SCARD_STATE_CHANGED);
  }
  SCardReleaseContext(context);
  return reached;
}

}  // namespace rfid::pcsc::rig
