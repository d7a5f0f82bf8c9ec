#include <dlfcn.h>
#include <link.h>

#include <unistd.h>

#include <algorithm>
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
// The file of that name in the first folder of LD_LIBRARY_PATH that holds
// one: the library the user named. The loader passes over one of another
// class or machine (a 32-bit maker's library, say) and would load the next
// it finds, the program's RUNPATH's simulated reader among them.
std::string NamedOnLibraryPath(const std::string& name) {
  const char* path = std::getenv("LD_LIBRARY_PATH");
  if (!path || name.find('/') != std::string::npos) return {};
  std::string folders = path;
  for (std::size_t start = 0; start <= folders.size();) {
    const std::size_t end = std::min(folders.find_first_of(":;", start), folders.size());
    const std::string folder = folders.substr(start, end - start);
    start = end + 1;
    if (folder.empty()) continue;  // the current folder: no library is taken from there
    const std::string file = folder + "/" + name;
    if (access(file.c_str(), F_OK) == 0) return file;
  }
  return {};
}
}  // namespace

void RestrictLibrarySearch() {}  // the loader's search is the program's RUNPATH and the system's

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& name) {
  const std::string named = NamedOnLibraryPath(name);
  dlerror();
  void* handle = dlopen((named.empty() ? name : named).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const std::string reason = LoaderMessage();
    if (!named.empty())  // nothing else stands in for it
      throw ReaderLibraryError("reader library " + named + ", named by LD_LIBRARY_PATH, could not be loaded: " + reason,
                               NotLoadedText(named) + "\n" + reason);
    throw ReaderLibraryError("reader library " + name + " could not be loaded: " + reason,
                             NotLoadedText(name));
  }
  return std::make_unique<PosixLibrary>(name, handle);
}

std::string LibraryFileName(const std::string& stem, bool inCurrentDirectory) {
  return (inCurrentDirectory ? "./lib" : "lib") + stem + ".so";
}

}  // namespace rfid
