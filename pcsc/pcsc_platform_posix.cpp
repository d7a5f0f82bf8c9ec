#include "pcsc_link.h"
#include "pcsc_platform.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace rfid::pcsc {

// The CCID driver passes it on only with ifdDriverOptions 0x0001 in its
// Info.plist.
const DWORD kEscapeControlCode = 0x42000000 + 1;

std::string PcscErrorText(LONG rv) { return pcsc_stringify_error(rv); }

std::optional<LinkFault> PlatformFault(LONG) { return std::nullopt; }

LONG ListReaderNames(SCARDCONTEXT context, std::vector<std::string>& names) {
  return ListNames<char>(
      [&](char* list, DWORD* size) { return SCardListReaders(context, nullptr, list, size); },
      names);
}

LONG ConnectReader(SCARDCONTEXT context, const std::string& reader, DWORD share,
                   DWORD protocols, SCARDHANDLE* card, DWORD* protocol) {
  return SCardConnect(context, reader.c_str(), share, protocols, card, protocol);
}

LONG ReaderStatesNow(SCARDCONTEXT context, const std::vector<std::string>& readers,
                     std::vector<ReaderEvents>& states) {
  return StatesNow<SCARD_READERSTATE>(readers, states, [&](SCARD_READERSTATE* asked, DWORD n) {
    return SCardGetStatusChange(context, 0, asked, n);
  });
}

std::optional<std::string> Setting(const char* name) {
  if (const char* value = std::getenv(name)) return std::string(value);
  return std::nullopt;
}

std::vector<std::string> OtherPcscPrograms() {
  std::vector<std::string> programs;
  DIR* proc = ::opendir("/proc");
  if (!proc) return programs;
  const long self = long(::getpid());
  while (const dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0' || pid == self) continue;
    const std::string dir = std::string("/proc/") + entry->d_name;
    std::ifstream maps(dir + "/maps");
    bool client = false;
    for (std::string line; !client && std::getline(maps, line);)
      client = line.find("/libpcsclite") != std::string::npos;
    if (!client) continue;
    std::ifstream comm(dir + "/comm");
    std::string name;
    std::getline(comm, name);
    programs.push_back((name.empty() ? "?" : name) + " (PID " + std::to_string(pid) + ")");
  }
  ::closedir(proc);
  std::sort(programs.begin(), programs.end());
  return programs;
}


}  // namespace rfid::pcsc
