/* The installer's custom actions for the tqr_32.dll beside rfid-console.exe.
 * Ours (a copy of sim\tqr_32.dll or pcsc\tqr_32.dll) is placed and removed
 * by these, not by the installer's file tables, so that a tqr_32.dll that is
 * not ours (the reader maker's, copied in by hand, over ours or not) stays
 * through upgrades and removal. Built by scripts/windows/build.sh. */
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <string.h>
#include <wchar.h>

#define PATH_CHARS 1024

/* Whether two files hold the same bytes. */
static BOOL SameContent(const WCHAR *a, const WCHAR *b) {
  HANDLE fa = CreateFileW(a, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  HANDLE fb = CreateFileW(b, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  BOOL same = fa != INVALID_HANDLE_VALUE && fb != INVALID_HANDLE_VALUE;
  static char ba[65536], bb[65536];
  while (same) {
    DWORD na = 0, nb = 0;
    same = ReadFile(fa, ba, sizeof ba, &na, NULL) && ReadFile(fb, bb, sizeof bb, &nb, NULL) &&
           na == nb && memcmp(ba, bb, na) == 0;
    if (na == 0) break;
  }
  if (fa != INVALID_HANDLE_VALUE) CloseHandle(fa);
  if (fb != INVALID_HANDLE_VALUE) CloseHandle(fb);
  return same;
}

/* A deferred action's data, "<choice>|<rfid-console.exe's full path>":
 * the choice, and the program's folder with its trailing backslash. */
static BOOL ActionData(MSIHANDLE h, WCHAR *choice, WCHAR *folder) {
  WCHAR data[PATH_CHARS];
  DWORD n = PATH_CHARS;
  if (MsiGetPropertyW(h, L"CustomActionData", data, &n) != ERROR_SUCCESS) return FALSE;
  WCHAR *bar = wcschr(data, L'|');
  WCHAR *slash = wcsrchr(data, L'\\');
  if (!bar || !slash || slash < bar || wcslen(bar + 1) + 32 > PATH_CHARS) return FALSE;
  *bar = 0;
  slash[1] = 0;
  lstrcpynW(choice, data, 16);
  lstrcpyW(folder, bar + 1);
  return TRUE;
}

static void Join(WCHAR *out, const WCHAR *folder, const WCHAR *name) {
  lstrcpyW(out, folder);
  lstrcatW(out, name);
}

static void Say(MSIHANDLE h, const WCHAR *text) {
  MSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0, text);
  MsiProcessMessage(h, INSTALLMESSAGE_INFO, record);
  MsiCloseHandle(record);
}

/* Whether the tqr_32.dll beside the program is one of ours. */
static BOOL Ours(const WCHAR *folder) {
  WCHAR placed[PATH_CHARS], sim[PATH_CHARS], pcsc[PATH_CHARS];
  Join(placed, folder, L"tqr_32.dll");
  Join(sim, folder, L"sim\\tqr_32.dll");
  Join(pcsc, folder, L"pcsc\\tqr_32.dll");
  return SameContent(placed, sim) || SameContent(placed, pcsc);
}

/* After the files are in: the chosen library (READERLIBRARY sim or pcsc)
 * as tqr_32.dll, in place of one of ours, never of another; with none, one
 * of ours goes. */
UINT __stdcall PlaceReaderLibrary(MSIHANDLE h) {
  WCHAR choice[16], folder[PATH_CHARS], placed[PATH_CHARS], source[PATH_CHARS];
  if (!ActionData(h, choice, folder)) return ERROR_INSTALL_FAILURE;
  Join(placed, folder, L"tqr_32.dll");
  const BOOL there = GetFileAttributesW(placed) != INVALID_FILE_ATTRIBUTES;
  if (there && !Ours(folder)) {
    Say(h, L"rfid-console: a tqr_32.dll that is not one of ours stays beside the program");
    return ERROR_SUCCESS;
  }
  if (wcscmp(choice, L"sim") != 0 && wcscmp(choice, L"pcsc") != 0) {
    if (there) DeleteFileW(placed);
    return ERROR_SUCCESS;
  }
  Join(source, folder, choice);
  lstrcatW(source, L"\\tqr_32.dll");
  return CopyFileW(source, placed, FALSE) ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

/* Before the files go (an upgrade's removal too): ours goes, another stays. */
UINT __stdcall RemoveReaderLibrary(MSIHANDLE h) {
  WCHAR choice[16], folder[PATH_CHARS], placed[PATH_CHARS];
  if (!ActionData(h, choice, folder)) return ERROR_SUCCESS;
  Join(placed, folder, L"tqr_32.dll");
  if (GetFileAttributesW(placed) == INVALID_FILE_ATTRIBUTES) return ERROR_SUCCESS;
  if (Ours(folder)) DeleteFileW(placed);
  else Say(h, L"rfid-console: a tqr_32.dll that is not one of ours stays beside the program");
  return ERROR_SUCCESS;
}
