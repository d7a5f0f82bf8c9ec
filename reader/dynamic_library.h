// Loading a dynamic library and finding its entry points. One source file
// per platform implements this header.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace rfid {

class ReaderLibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class DynamicLibrary {
 public:
  // Throws ReaderLibraryError naming the library and the loader's message.
  static std::unique_ptr<DynamicLibrary> Open(const std::string& name);
  virtual ~DynamicLibrary() = default;
  // Throws ReaderLibraryError naming the library, the entry point and the
  // loader's message.
  virtual void* Symbol(const std::string& entry) = 0;
  virtual const std::string& Name() const = 0;
};

// The console's library, found by the platform's ordinary search.
std::string ConsoleLibraryName();
// The legacy window's library, relative to the current directory.
std::string LegacyLibraryName();

}  // namespace rfid
