#include <windows.h>

#include "dynamic_library.h"
#include "win_text.h"

namespace rfid {

namespace {
class WindowsLibrary final : public DynamicLibrary {
 public:
  WindowsLibrary(std::string name, HMODULE module) : name_(std::move(name)), module_(module) {}
  ~WindowsLibrary() override { FreeLibrary(module_); }

  void* Symbol(const std::string& entry) override {
    // The reader library exports its __stdcall calls under their plain names.
    FARPROC address = GetProcAddress(module_, entry.c_str());
    if (!address)
      throw ReaderLibraryError("reader library " + name_ + " has no entry point " + entry +
                               ": " + win::SystemMessage(GetLastError()));
    return reinterpret_cast<void*>(address);
  }
  const std::string& Name() const override { return name_; }

 private:
  std::string name_;
  HMODULE module_;
};
}  // namespace

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& name) {
  // A missing or broken library is reported by us, not by a system dialog.
  DWORD oldMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  HMODULE module = LoadLibraryW(win::Wide(name).c_str());
  const DWORD error = GetLastError();
  SetThreadErrorMode(oldMode, nullptr);
  if (!module)
    throw ReaderLibraryError("reader library " + name + " could not be loaded: " +
                             win::SystemMessage(error));
  return std::make_unique<WindowsLibrary>(name, module);
}

std::string LibraryFileName(const std::string& stem, bool inCurrentDirectory) {
  return (inCurrentDirectory ? ".\\" : "") + stem + ".dll";
}

}  // namespace rfid
