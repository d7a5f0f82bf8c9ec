/* The installer's custom actions for the tqr_32.dll beside rfid-console.exe.
 * Ours (a copy of sim\tqr_32.dll or pcsc\tqr_32.dll) is placed and removed
 * by these, not by the installer's file tables, so that a tqr_32.dll that is
 * not ours (the reader maker's, copied in by hand, over ours or not) stays
 * through upgrades and removal. Built by scripts/windows/build.sh. */
#include <windows.h>
#include <wincrypt.h>
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

/* A deferred action's data, "<choice>|<given>|<rfid-console.exe's full
 * path>": the choice, whether READERLIBRARY was given on the command line
 * (1) rather than remembered, and the program's folder with its trailing
 * backslash. */
static BOOL ActionData(MSIHANDLE h, WCHAR *choice, BOOL *given, WCHAR *folder) {
  WCHAR data[PATH_CHARS];
  DWORD n = PATH_CHARS;
  if (MsiGetPropertyW(h, L"CustomActionData", data, &n) != ERROR_SUCCESS) return FALSE;
  WCHAR *bar = wcschr(data, L'|');
  WCHAR *second = bar ? wcschr(bar + 1, L'|') : NULL;
  WCHAR *slash = wcsrchr(data, L'\\');
  if (!second || !slash || slash < second || wcslen(second + 1) + 32 > PATH_CHARS) return FALSE;
  *bar = 0;
  *second = 0;
  slash[1] = 0;
  lstrcpynW(choice, data, 16);
  *given = bar[1] == L'1';
  lstrcpyW(folder, second + 1);
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

/* The file's SHA-256 as 64 hexadecimal digits; empty when unreadable. */
static void Sha256(const WCHAR *file, WCHAR *hex) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  BYTE digest[32], buffer[65536];
  DWORD size = sizeof digest, read = 0;
  hex[0] = 0;
  HANDLE f = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
  if (f == INVALID_HANDLE_VALUE) return;
  if (CryptAcquireContextW(&provider, NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
      CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
    BOOL ok = TRUE;
    while (ok && ReadFile(f, buffer, sizeof buffer, &read, NULL) && read > 0)
      ok = CryptHashData(hash, buffer, read, 0);
    if (ok && CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0))
      for (DWORD i = 0; i < size; ++i) wsprintfW(hex + 2 * i, L"%02x", digest[i]);
  }
  if (hash) CryptDestroyHash(hash);
  if (provider) CryptReleaseContext(provider, 0);
  CloseHandle(f);
}

/* What the installer placed, whichever version placed it: its SHA-256 in
 * the registry value beside ReaderLibrary. */
#define KEY L"Software\\rfid-console"
#define PLACED L"ReaderLibrarySha256"
static void Record(const WCHAR *placed) {
  WCHAR hex[65];
  Sha256(placed, hex);
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, KEY, PLACED, REG_SZ, hex, (DWORD)(wcslen(hex) + 1) * sizeof(WCHAR));
}
static BOOL Recorded(const WCHAR *placed) {
  WCHAR want[65], hex[65];
  DWORD size = sizeof want;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, KEY, PLACED, RRF_RT_REG_SZ, NULL, want, &size) != ERROR_SUCCESS)
    return FALSE;
  Sha256(placed, hex);
  return hex[0] && lstrcmpiW(hex, want) == 0;
}

/* Whether the tqr_32.dll beside the program is one of ours: this version's
 * copy, or the file an installer of ours placed there. */
static BOOL Ours(const WCHAR *folder) {
  WCHAR placed[PATH_CHARS], sim[PATH_CHARS], pcsc[PATH_CHARS];
  Join(placed, folder, L"tqr_32.dll");
  Join(sim, folder, L"sim\\tqr_32.dll");
  Join(pcsc, folder, L"pcsc\\tqr_32.dll");
  return SameContent(placed, sim) || SameContent(placed, pcsc) || Recorded(placed);
}

static UINT Refuse(MSIHANDLE h, const WCHAR *text) {
  MSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0, text);
  MsiProcessMessage(h, INSTALLMESSAGE_ERROR | MB_OK, record);
  MsiCloseHandle(record);
  return ERROR_INSTALL_FAILURE;
}

/* After the files are in (and after an upgrade's removal of the old
 * version): the chosen library (READERLIBRARY sim or pcsc) as tqr_32.dll,
 * in place of one of ours, never of another; with none, one of ours goes.
 * What stood there is kept as tqr_32.dll.rollback until the install ends,
 * for a rollback to put back. A file in use is replaced at the next
 * restart (the install then ends asking for one, 3010). */
UINT __stdcall PlaceReaderLibrary(MSIHANDLE h) {
  WCHAR choice[16], folder[PATH_CHARS], placed[PATH_CHARS], source[PATH_CHARS], kept[PATH_CHARS];
  BOOL given = FALSE;
  if (!ActionData(h, choice, &given, folder)) return ERROR_INSTALL_FAILURE;
  Join(placed, folder, L"tqr_32.dll");
  Join(kept, folder, L"tqr_32.dll.rollback");
  const BOOL there = GetFileAttributesW(placed) != INVALID_FILE_ATTRIBUTES;
  if (there && !Ours(folder)) {
    Say(h, L"rfid-console: a tqr_32.dll that is not one of ours stays beside the program");
    return ERROR_SUCCESS;
  }
  if (there && CopyFileW(placed, kept, FALSE)) SetFileAttributesW(kept, FILE_ATTRIBUTE_NORMAL);
  const BOOL choose = wcscmp(choice, L"sim") == 0 || wcscmp(choice, L"pcsc") == 0;
  if (!choose) {
    if (there && !DeleteFileW(placed)) MoveFileExW(placed, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, KEY, PLACED);
    return ERROR_SUCCESS;
  }
  Join(source, folder, choice);
  lstrcatW(source, L"\\tqr_32.dll");
  if (CopyFileW(source, placed, FALSE)) {
    Record(placed);
    return ERROR_SUCCESS;
  }
  /* In use (a console Restart Manager did not close, an antivirus): the
   * copy goes in at the next restart. */
  WCHAR later[PATH_CHARS];
  Join(later, folder, L"tqr_32.dll.new");
  if (CopyFileW(source, later, FALSE) &&
      MoveFileExW(later, placed, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
    Record(later);
    MsiSetMode(h, MSIRUNMODE_REBOOTATEND, TRUE);
    Say(h, L"rfid-console: tqr_32.dll is in use; it is replaced at the next restart");
    return ERROR_SUCCESS;
  }
  if (given)
    return Refuse(h, L"READERLIBRARY could not be applied: tqr_32.dll beside the program cannot "
                     L"be replaced. Close every rfid-console and install again.");
  return ERROR_INSTALL_FAILURE;
}

/* A rolled-back install: what stood beside the program before comes back;
 * what this install placed goes. */
UINT __stdcall RollbackReaderLibrary(MSIHANDLE h) {
  WCHAR choice[16], folder[PATH_CHARS], placed[PATH_CHARS], kept[PATH_CHARS];
  BOOL given = FALSE;
  if (!ActionData(h, choice, &given, folder)) return ERROR_SUCCESS;
  Join(placed, folder, L"tqr_32.dll");
  Join(kept, folder, L"tqr_32.dll.rollback");
  if (GetFileAttributesW(kept) != INVALID_FILE_ATTRIBUTES) {
    MoveFileExW(kept, placed, MOVEFILE_REPLACE_EXISTING);
    Record(placed);
  } else if (Ours(folder)) {
    DeleteFileW(placed);
  }
  return ERROR_SUCCESS;
}

/* The install went through: nothing is to be put back. */
UINT __stdcall CommitReaderLibrary(MSIHANDLE h) {
  WCHAR choice[16], folder[PATH_CHARS], kept[PATH_CHARS];
  BOOL given = FALSE;
  if (ActionData(h, choice, &given, folder)) {
    Join(kept, folder, L"tqr_32.dll.rollback");
    SetFileAttributesW(kept, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(kept);
  }
  return ERROR_SUCCESS;
}

/* Before the files go: ours goes, another stays. An upgrade's removal of
 * the old version leaves it to the new one. */
UINT __stdcall RemoveReaderLibrary(MSIHANDLE h) {
  WCHAR choice[16], folder[PATH_CHARS], placed[PATH_CHARS];
  BOOL given = FALSE;
  if (!ActionData(h, choice, &given, folder)) return ERROR_SUCCESS;
  Join(placed, folder, L"tqr_32.dll");
  if (GetFileAttributesW(placed) == INVALID_FILE_ATTRIBUTES) return ERROR_SUCCESS;
  if (Ours(folder)) {
    if (!DeleteFileW(placed)) MoveFileExW(placed, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, KEY, PLACED);
  } else {
    Say(h, L"rfid-console: a tqr_32.dll that is not one of ours stays beside the program");
  }
  return ERROR_SUCCESS;
}
