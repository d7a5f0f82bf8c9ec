#include <windows.h>
// after windows.h
#include <fcntl.h>
#include <io.h>

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "startup.h"

namespace rfid::ui {

namespace {
bool Has(DWORD which) {
  const HANDLE h = GetStdHandle(which);
  return h != nullptr && h != INVALID_HANDLE_VALUE;
}

// The C runtime's stream on the console, and the system's handle with it.
void ToConsole(FILE* stream, DWORD which) {
  FILE* reopened = nullptr;
  if (freopen_s(&reopened, "CONOUT$", "w", stream) != 0) return;
  SetStdHandle(which, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}
}  // namespace

void AttachToCallersConsole() {
  if (Has(STD_OUTPUT_HANDLE)) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;  // started from Explorer: nobody to tell
  ToConsole(stdout, STD_OUTPUT_HANDLE);
  if (!Has(STD_ERROR_HANDLE)) ToConsole(stderr, STD_ERROR_HANDLE);
}

void KeepPluginsInTheProgramFolder(int& argc, char** argv) {
  _wputenv_s(L"QT_PLUGIN_PATH", L"");
  _wputenv_s(L"QT_QPA_PLATFORM_PLUGIN_PATH", L"");
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-platformpluginpath") == 0 && i + 1 < argc) {
      ++i;
      continue;
    }
    argv[kept++] = argv[i];
  }
  argc = kept;
  argv[argc] = nullptr;
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n == MAX_PATH) return;
  const QString folder = QDir::fromNativeSeparators(QString::fromWCharArray(path, int(n))).section('/', 0, -2);
  QCoreApplication::setLibraryPaths({folder});
}

}  // namespace rfid::ui
