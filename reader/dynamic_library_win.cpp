#include <windows.h>

#include "dynamic_library.h"
#include "win_text.h"

namespace rfid {

namespace {
std::wstring ModulePath(HMODULE module) {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(module, path.data(), DWORD(path.size())));
  return path;
}

class WindowsLibrary final : public DynamicLibrary {
 public:
  WindowsLibrary(std::string name, HMODULE module)
      : name_(std::move(name)), path_(win::Utf8(ModulePath(module))), module_(module) {}
  ~WindowsLibrary() override { FreeLibrary(module_); }

  void* Symbol(const std::string& entry) override {
    // The reader library exports its __stdcall calls under their plain names.
    FARPROC address = GetProcAddress(module_, entry.c_str());
    if (!address)
      throw ReaderLibraryError("reader library " + name_ + " has no entry point " + entry +
                                   ": " + win::SystemMessage(GetLastError()),
                               MissingEntryText(name_));
    return reinterpret_cast<void*>(address);
  }
  const std::string& Name() const override { return name_; }
  const std::string& Path() const override { return path_; }

 private:
  std::string name_;
  std::string path_;
  HMODULE module_;
};

// The folder of a path (what comes before its last separator), or empty.
std::wstring FolderOf(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring ProgramFolder() { return FolderOf(ModulePath(nullptr)); }

std::wstring CurrentFolder() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring path(n, L'\0');
  path.resize(GetCurrentDirectoryW(n, path.data()));
  return path;
}

// One load, its failure described: nullptr and the error.
HMODULE Load(const std::wstring& file, DWORD flags, DWORD& error) {
  HMODULE module = LoadLibraryExW(file.c_str(), nullptr, flags);
  error = module ? 0 : GetLastError();
  return module;
}

// A library loaded by its full path finds the DLLs it needs beside itself
// (a maker's library brings its own) and in the system's folders.
constexpr DWORD kBesideItself = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
}  // namespace

void RestrictLibrarySearch() { SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS); }

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& name) {
  // A missing or broken library is reported by us, not by a system dialog.
  DWORD oldMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  const std::wstring wide = win::Wide(name);
  HMODULE module = nullptr;
  DWORD error = 0;
  std::string tried;
  if (wide.rfind(L".\\", 0) == 0) {
    // Relative to the current folder, and nowhere else.
    const std::wstring file = CurrentFolder() + wide.substr(1);
    module = Load(file, kBesideItself, error);
    tried = win::Utf8(file);
  } else if (wide.find_first_of(L"\\/") != std::wstring::npos) {
    module = Load(wide, kBesideItself, error);
    tried = name;
  } else {
    // A plain name: the program's own folder, then the system folder; never
    // the current folder or PATH, where anyone may have put a library of
    // that name. A file in the program's folder that will not load (one of
    // its own DLLs missing, say) is that failure: a stale copy in the system
    // folder must not stand in for it.
    const std::wstring file = ProgramFolder() + L"\\" + wide;
    tried = win::Utf8(file);
    if (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) {
      module = Load(file, kBesideItself, error);
    } else {
      module = Load(wide, LOAD_LIBRARY_SEARCH_SYSTEM32, error);
      tried = "the system folder (none in " + tried + ")";
    }
  }
  SetThreadErrorMode(oldMode, nullptr);
  if (!module)
    throw ReaderLibraryError("reader library " + name + " could not be loaded from " + tried +
                                 ": " + win::SystemMessage(error),
                             NotLoadedText(name));
  return std::make_unique<WindowsLibrary>(name, module);
}

std::string LibraryFileName(const std::string& stem, bool inCurrentDirectory) {
  return (inCurrentDirectory ? ".\\" : "") + stem + ".dll";
}

}  // namespace rfid
