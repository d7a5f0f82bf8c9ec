#include "single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

// The lock's name without the leading NUL of the abstract namespace.
std::string AbstractName() { return "rfid-console-" + std::to_string(getuid()); }

socklen_t AddressOf(const std::string& name, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, name.data(), name.size());  // sun_path[0] stays NUL
  return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

// The user whose process holds the name: it listens, so a connection to it
// carries its credentials. A console busy with the reader accepts late: the
// connection waits for it (up to 5 s) rather than take a full queue for a
// fault. Nullopt when nobody listens any more: the holder has just ended.
std::optional<uid_t> HolderOf(const std::string& name) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail("socket");
  const timeval wait{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
  sockaddr_un address;
  const socklen_t length = AddressOf(name, address);
  ucred holder{};
  socklen_t size = sizeof holder;
  const bool known = connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                     getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &holder, &size) == 0;
  const int error = errno;
  close(fd);
  if (!known && error == ECONNREFUSED) return std::nullopt;
  if (!known) {
    errno = error;
    Fail("@" + name + " is held by a process that does not answer as this program does");
  }
  return holder.uid;
}
}  // namespace

// An abstract socket: the name is the user's alone, whatever the environment
// says, there is no file to remove or to plant, and the kernel frees it when
// the process dies, however it dies.
std::string SingleInstance::DefaultLockPath() { return "@" + AbstractName(); }

void SingleInstance::SetRuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return;
  try {
    setenv("XDG_RUNTIME_DIR", PrivateFolder().c_str(), 1);
  } catch (const std::runtime_error&) {
    // Qt's own fallback serves meanwhile.
  }
}

SingleInstance::~SingleInstance() {
  if (handle_ >= 0) close(int(handle_));
}

bool SingleInstance::Acquire() {
  if (handle_ >= 0) return true;
  const std::string name = AbstractName() + role_;
  path_ = "@" + name;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) Fail("socket");
  sockaddr_un address;
  const socklen_t length = AddressOf(name, address);
  // A holder that ends between our bind and our question frees the name:
  // bind again.
  for (int attempt = 0;; ++attempt) {
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(fd, 8) == 0) break;
    const int error = errno;
    if (error != EADDRINUSE) {
      close(fd);
      errno = error;
      Fail(path_);
    }
    // Anyone may take a name in this namespace: another user's holder is
    // named, not taken for a copy of ours.
    const std::optional<uid_t> holder = HolderOf(name);
    if (!holder && attempt < 3) continue;
    close(fd);
    if (!holder) Fail(path_ + " is held by a process that does not answer as this program does");
    if (*holder != getuid()) {
      errno = EPERM;
      Fail(path_ + " is held by user " + std::to_string(*holder) + ", not by this user");
    }
    return false;
  }
  handle_ = fd;
  return true;
}

int SingleInstance::ConnectionSocket() const { return int(handle_); }

void SingleInstance::AcceptPending() {
  if (handle_ < 0) return;
  for (int c; (c = accept4(int(handle_), nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) close(c);
}
