#include "state_file.h"

#include <filesystem>

#include "win_text.h"

namespace rfid::sim {

namespace {
using rfid::win::SystemMessage;
using rfid::win::Wide;

[[noreturn]] void ThrowLast(const std::string& what, const std::string& path) {
  throw StateError(what + " " + path + ": " + SystemMessage(GetLastError()));
}

class Handle {
 public:
  explicit Handle(HANDLE h) : m_Handle(h) {}
  ~Handle() {
    if (m_Handle != INVALID_HANDLE_VALUE) CloseHandle(m_Handle);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return m_Handle; }
  HANDLE release() {
    HANDLE h = m_Handle;
    m_Handle = INVALID_HANDLE_VALUE;
    return h;
  }

 private:
  HANDLE m_Handle;
};

// Others may read, replace or delete the file while it is open: a reader
// never blocks the writer's replace.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;


// Creates folder and the folders above it that are missing.
void CreateFolders(const std::filesystem::path& folder) {
  if (folder.empty() || folder == folder.root_path()) return;
  if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  CreateFolders(folder.parent_path());
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    ThrowLast("cannot create the folder", rfid::win::Utf8(folder.wstring()));
}
}  // namespace

StateLock::StateLock(const std::string& statePath) {
  CreateFolders(std::filesystem::path(Wide(statePath)).parent_path());
  const std::string lockPath = statePath + ".lock";
  Handle file(CreateFileW(Wide(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) ThrowLast("cannot open the lock file", lockPath);
  OVERLAPPED at{};
  if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &at))
    ThrowLast("cannot lock", lockPath);
  m_Handle = reinterpret_cast<std::intptr_t>(file.release());
}

StateLock::~StateLock() {
  HANDLE file = reinterpret_cast<HANDLE>(m_Handle);
  OVERLAPPED at{};
  UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &at);
  CloseHandle(file);
}

std::optional<std::string> ReadStateFile(const std::string& path) {
  Handle file(CreateFileW(Wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    SetLastError(error);
    ThrowLast("cannot open the state file", path);
  }
  std::string text;
  char buffer[8192];
  while (true) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr))
      ThrowLast("cannot read the state file", path);
    if (n == 0) break;
    text.append(buffer, n);
    if (text.size() > kMaxStateBytes)
      throw StateError("state file " + path + " is larger than " +
                       std::to_string(kMaxStateBytes) + " bytes");
  }
  return text;
}

void WriteAtomically(const std::string& path, const std::string& text) {
  const std::string temp = path + ".tmp";  // only the lock holder writes it
  const std::wstring wideTemp = Wide(temp);
  {
    Handle file(CreateFileW(wideTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) ThrowLast("cannot create", temp);
    std::size_t done = 0;
    while (done < text.size()) {
      DWORD n = 0;
      if (!WriteFile(file.get(), text.data() + done, DWORD(text.size() - done), &n, nullptr)) {
        const DWORD error = GetLastError();
        CloseHandle(file.release());
        DeleteFileW(wideTemp.c_str());
        SetLastError(error);
        ThrowLast("cannot write", temp);
      }
      done += n;
    }
    if (!CloseHandle(file.release())) {
      const DWORD error = GetLastError();
      DeleteFileW(wideTemp.c_str());
      SetLastError(error);
      ThrowLast("cannot write", temp);
    }
  }
  // A reader without the lock (tqr-sim show), a scanner or an indexer may
  // hold the old file open for a moment, and Windows then refuses to
  // replace it: try again for up to a second.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(wideTemp.c_str(), Wide(path).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return;
    const DWORD error = GetLastError();
    if (attempt < 100 && (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)) {
      Sleep(10);
      continue;
    }
    DeleteFileW(wideTemp.c_str());
    SetLastError(error);
    ThrowLast("cannot replace the state file", path);
  }
}

std::string StatePath() {
  if (std::string p = rfid::win::Environment(L"TQR_SIM_STATE"); !p.empty()) return p;
  const std::string local = rfid::win::Environment(L"LOCALAPPDATA");
  if (local.empty())
    throw StateError("no state file: neither TQR_SIM_STATE nor LOCALAPPDATA is set");
  return local + "\\rfid-console\\tqr-sim.state";
}

}  // namespace rfid::sim
