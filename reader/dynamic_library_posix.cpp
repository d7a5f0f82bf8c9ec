#include <dlfcn.h>
#include <link.h>

#include <climits>
#include <cstdlib>

#include "dynamic_library.h"

namespace rfid {

namespace {
std::string LoaderMessage() {
  const char* message = dlerror();
  return message ? message : "unknown error";
}

// The file the loader found for the handle, with links and ".." resolved.
std::string FullPath(void* handle, const std::string& name) {
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name || !*map->l_name)
    return name;
  char resolved[PATH_MAX];
  return realpath(map->l_name, resolved) ? resolved : map->l_name;
}

class PosixLibrary final : public DynamicLibrary {
 public:
  PosixLibrary(std::string name, void* handle)
      : name_(std::move(name)), path_(FullPath(handle, name_)), handle_(handle) {}
  ~PosixLibrary() override { dlclose(handle_); }

  void* Symbol(const std::string& entry) override {
    dlerror();
    void* address = dlsym(handle_, entry.c_str());
    if (!address)
      throw ReaderLibraryError("reader library " + name_ + " has no entry point " + entry +
                                   ": " + LoaderMessage(),
                               MissingEntryText(name_));
    return address;
  }
  const std::string& Name() const override { return name_; }
  const std::string& Path() const override { return path_; }

 private:
  std::string name_;
  std::string path_;
  void* handle_;
};
}  // namespace

void RestrictLibrarySearch() {}  // the loader's search is the program's RUNPATH and the system's

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& name) {
  dlerror();
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle)
    throw ReaderLibraryError("reader library " + name + " could not be loaded: " + LoaderMessage(),
                             NotLoadedText(name));
  return std::make_unique<PosixLibrary>(name, handle);
}

std::string LibraryFileName(const std::string& stem, bool inCurrentDirectory) {
  return (inCurrentDirectory ? "./lib" : "lib") + stem + ".so";
}

}  // namespace rfid
