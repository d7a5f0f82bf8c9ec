#include "single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("single-instance lock " + what + ": " + std::strerror(errno));
}

// A folder only this user can use: created 0700, and refused when it is a
// link, another user's, or open to others.
std::string PrivateFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/rfid-console-" +
                    std::to_string(getuid());
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) Fail("folder " + dir);
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) Fail("folder " + dir);
  if (!S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 077) != 0) {
    errno = EPERM;
    Fail("folder " + dir + " is not private to this user");
  }
  return dir;
}
}  // namespace

std::string SingleInstance::DefaultLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string dir = runtime && *runtime ? runtime : PrivateFolder();
  return dir + "/rfid-console.lock";
}

void SingleInstance::NameRuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return;
  try {
    setenv("XDG_RUNTIME_DIR", PrivateFolder().c_str(), 1);
  } catch (const std::runtime_error&) {
    // Acquire reports it; Qt's own fallback serves meanwhile.
  }
}

SingleInstance::~SingleInstance() {
  if (handle_ >= 0) close(int(handle_));
}

bool SingleInstance::Acquire() {
  if (handle_ >= 0) return true;
  path_ = DefaultLockPath();
  const int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) Fail("file " + path_);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) return false;
    errno = error;
    Fail("file " + path_);
  }
  handle_ = fd;
  return true;
}
