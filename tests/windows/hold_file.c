/* hold_file.exe FILE SECONDS: keeps FILE open as a console that has its
 * tqr_32.dll loaded keeps it (others may read it, not write or delete it),
 * until the time is up. */
#include <windows.h>
#include <stdlib.h>

int wmain(int argc, wchar_t **argv) {
  if (argc != 3) return 2;
  HANDLE f = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (f == INVALID_HANDLE_VALUE) return 1;
  Sleep((DWORD)_wtoi(argv[2]) * 1000);
  CloseHandle(f);
  return 0;
}
