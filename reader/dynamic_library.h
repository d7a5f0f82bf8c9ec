// Loading a dynamic library and finding its entry points. One source file
// per platform implements this header.
#pragma once

#include <memory>
#include <string>

#include "errors.h"

namespace rfid {

class DynamicLibrary {
 public:
  // Throws ReaderLibraryError naming the library and the loader's message.
  // Windows: a plain name is loaded from the program's folder when a file
  // of that name is there (and fails when that file will not load), else
  // from the system folder; ".\\name" from the current folder only.
  static std::unique_ptr<DynamicLibrary> Open(const std::string& name);
  virtual ~DynamicLibrary() = default;
  // Throws ReaderLibraryError naming the library, the entry point and the
  // loader's message.
  virtual void* Symbol(const std::string& entry) = 0;
  virtual const std::string& Name() const = 0;
  // The file the system loaded, as a full path.
  virtual const std::string& Path() const = 0;
  bool Has(const std::string& entry) {
    try {
      Symbol(entry);
      return true;
    } catch (const ReaderLibraryError&) {
      return false;
    }
  }
};

// What the operator is told when the library cannot be loaded, or lacks a
// call; the log keeps the path tried and the system's reason.
inline std::string NotLoadedText(const std::string& library) {
  return "리더기 라이브러리를 불러오지 못했습니다: " + library;
}
inline std::string MissingEntryText(const std::string& library) {
  return "리더기 라이브러리가 맞지 않습니다 (필요한 기능이 없습니다): " + library;
}

// Windows: a library loaded by name is looked for in the program's folder
// and the system folder only, never in the current folder or on PATH
// (SetDefaultDllDirectories, for Qt's own loads too). Linux: nothing to do.
// Call first thing in main.
void RestrictLibrarySearch();

// A library's file name on this platform: stem "tqr_32" is libtqr_32.so on
// Linux and tqr_32.dll on Windows. By default a name for the platform's
// ordinary search; inCurrentDirectory makes it a path relative to the
// process's current directory (./ or .\).
std::string LibraryFileName(const std::string& stem, bool inCurrentDirectory = false);

}  // namespace rfid
