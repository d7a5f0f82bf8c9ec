// What differs between the platforms' PC/SC services. One source file per
// platform implements this header and OtherPcscPrograms (pcsc_link.h).
//
// Reader names are UTF-8 in the library. pcsc-lite's calls take them so; on
// Windows the wide (W) calls are used, because the ANSI ones fail the whole
// reader list when one name has no form in the ANSI code page.
#pragma once

#include <winscard.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "card_link.h"

namespace rfid::pcsc {

// SCardControl's code for a CCID escape command: pcsc-lite's
// SCARD_CTL_CODE(1), Windows' SCARD_CTL_CODE(3500).
extern const DWORD kEscapeControlCode;

// The service's text for a result code: pcsc-lite's own on Linux, the
// system's message on Windows.
std::string PcscErrorText(LONG rv);

// How a result code that is the platform's own (not an SCARD_ code) fails
// a link: Windows answers a handle of a stopped service with Win32 codes.
std::optional<LinkFault> PlatformFault(LONG rv);

// The readers' names (none: SCARD_E_NO_READERS_AVAILABLE).
LONG ListReaderNames(SCARDCONTEXT context, std::vector<std::string>& names);

LONG ConnectReader(SCARDCONTEXT context, const std::string& reader, DWORD share,
                   DWORD protocols, SCARDHANDLE* card, DWORD* protocol);

// What the service knows of each reader now, asked from SCARD_STATE_UNAWARE
// without waiting.
struct ReaderEvents {
  DWORD state = 0;
  Bytes atr;
};
LONG ReaderStatesNow(SCARDCONTEXT context, const std::vector<std::string>& readers,
                     std::vector<ReaderEvents>& states);

// The names of a list that ends each name with a NUL and itself with another.
template <class Char>
std::vector<std::basic_string<Char>> SplitNames(const std::basic_string<Char>& list) {
  std::vector<std::basic_string<Char>> names;
  for (std::size_t pos = 0; pos < list.size() && list[pos] != Char(0);) {
    const std::size_t end = list.find(Char(0), pos);
    names.push_back(list.substr(pos, end - pos));
    if (end == std::basic_string<Char>::npos) break;
    pos = end + 1;
  }
  return names;
}

// Asks size, then names; a reader that came between the two asks again.
template <class Char, class List>
LONG ListNames(List list, std::vector<std::basic_string<Char>>& names) {
  for (int attempt = 0;; ++attempt) {
    DWORD size = 0;
    LONG rv = list(static_cast<Char*>(nullptr), &size);
    if (rv != SCARD_S_SUCCESS) return rv;
    std::basic_string<Char> buffer(size, Char(0));
    rv = list(buffer.data(), &size);
    if (rv == SCARD_E_INSUFFICIENT_BUFFER && attempt < 3) continue;
    if (rv != SCARD_S_SUCCESS) return rv;
    buffer.resize(std::min<std::size_t>(size, buffer.size()));
    names = SplitNames(buffer);
    return rv;
  }
}

// ReaderStatesNow for either kind of SCARD_READERSTATE.
template <class State, class Char, class Ask>
LONG StatesNow(const std::vector<std::basic_string<Char>>& readers,
               std::vector<ReaderEvents>& states, Ask ask) {
  std::vector<State> asked(readers.size());
  for (std::size_t i = 0; i < readers.size(); ++i) {
    asked[i].szReader = readers[i].c_str();
    asked[i].dwCurrentState = SCARD_STATE_UNAWARE;
  }
  const LONG rv = ask(asked.data(), DWORD(asked.size()));
  states.clear();
  for (const State& s : asked) {
    const DWORD atrLength = std::min<DWORD>(s.cbAtr, sizeof s.rgbAtr);
    states.push_back({s.dwEventState, Bytes(s.rgbAtr, s.rgbAtr + atrLength)});
  }
  return rv;
}

}  // namespace rfid::pcsc
