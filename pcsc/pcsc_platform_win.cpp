#include "pcsc_link.h"
#include "pcsc_platform.h"

#include <cstdio>

#include "win_text.h"

namespace rfid::pcsc {

// SCARD_CTL_CODE(3500): CTL_CODE(FILE_DEVICE_SMARTCARD, 3500, METHOD_BUFFERED,
// FILE_ANY_ACCESS). The inbox CCID driver passes it on only with the
// EscapeCommandEnable value set for the reader.
const DWORD kEscapeControlCode = (0x31 << 16) | (3500 << 2);

// Wine's winscard, and Windows for a context of a service that has stopped,
// answer a dead handle with Win32 codes: the link is stale, not failed.
std::optional<LinkFault> PlatformFault(LONG rv) {
  switch (rv) {
    case ERROR_INVALID_HANDLE:
    case ERROR_BROKEN_PIPE:
      return LinkFault::Stale;
    default:
      return std::nullopt;
  }
}

LONG ListReaderNames(SCARDCONTEXT context, std::vector<std::string>& names) {
  std::vector<std::wstring> wide;
  const LONG rv = ListNames<wchar_t>(
      [&](wchar_t* list, DWORD* size) { return SCardListReadersW(context, nullptr, list, size); },
      wide);
  names.clear();
  for (const std::wstring& name : wide) names.push_back(rfid::win::Utf8(name));
  return rv;
}

LONG ConnectReader(SCARDCONTEXT context, const std::string& reader, DWORD share,
                   DWORD protocols, SCARDHANDLE* card, DWORD* protocol) {
  return SCardConnectW(context, rfid::win::Wide(reader).c_str(), share, protocols, card, protocol);
}

LONG ReaderStatesNow(SCARDCONTEXT context, const std::vector<std::string>& readers,
                     std::vector<ReaderEvents>& states) {
  std::vector<std::wstring> names;
  for (const std::string& r : readers) names.push_back(rfid::win::Wide(r));
  return StatesNow<SCARD_READERSTATEW>(names, states, [&](SCARD_READERSTATEW* asked, DWORD n) {
    return SCardGetStatusChangeW(context, 0, asked, n);
  });
}

// Read as UTF-8, as reader names are; empty counts as unset.
std::optional<std::string> Setting(const char* name) {
  std::string value = rfid::win::Environment(rfid::win::Wide(name).c_str());
  if (value.empty()) return std::nullopt;
  return value;
}

std::string PcscErrorText(LONG rv) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(rv));
  return rfid::win::SystemMessage(DWORD(rv)) + " " + code;
}

// Which processes have winscard.dll loaded is not looked for on Windows: the
// notice about a reader in use names the reader only.
std::vector<std::string> OtherPcscPrograms() { return {}; }

}  // namespace rfid::pcsc
