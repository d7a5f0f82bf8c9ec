#include "state_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace rfid::sim {

namespace {
[[noreturn]] void ThrowErrno(const std::string& what, const std::string& path) {
  throw StateError(what + " " + path + ": " + std::strerror(errno));
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace

StateLock::StateLock(const std::string& statePath) {
  const std::filesystem::path parent = std::filesystem::path(statePath).parent_path();
  if (!parent.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (ec) throw StateError("cannot create the folder " + parent.string() + ": " + ec.message());
  }
  const std::string lockPath = statePath + ".lock";
  Fd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (fd.get() < 0) ThrowErrno("cannot open the lock file", lockPath);
  while (::flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) ThrowErrno("cannot lock", lockPath);
  }
  handle_ = fd.release();
}

StateLock::~StateLock() { ::close(int(handle_)); }  // closing releases the lock

// The file's text, or nullopt when it does not exist.
std::optional<std::string> ReadStateFile(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    ThrowErrno("cannot open the state file", path);
  }
  std::string text;
  char buffer[8192];
  while (true) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno("cannot read the state file", path);
    }
    if (n == 0) break;
    text.append(buffer, std::size_t(n));
    if (text.size() > kMaxStateBytes)
      throw StateError("state file " + path + " is larger than " +
                       std::to_string(kMaxStateBytes) + " bytes");
  }
  return text;
}

void WriteAtomically(const std::string& path, const std::string& text) {
  const std::string temp = path + ".tmp";  // only the lock holder writes it
  {
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.get() < 0) ThrowErrno("cannot create", temp);
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        ThrowErrno("cannot write", temp);
      }
      done += std::size_t(n);
    }
    if (::close(fd.release()) != 0) {
      const int saved = errno;
      ::unlink(temp.c_str());
      errno = saved;
      ThrowErrno("cannot write", temp);
    }
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    ThrowErrno("cannot replace the state file", path);
  }
}

std::string StatePath() {
  if (const char* p = std::getenv("TQR_SIM_STATE"); p && *p) return p;
  const std::string tail = "rfid-console/tqr-sim.state";
  // Relative XDG paths are to be ignored.
  if (const char* x = std::getenv("XDG_STATE_HOME"); x && x[0] == '/')
    return (std::filesystem::path(x) / tail).string();
  std::string home;
  if (const char* h = std::getenv("HOME"); h && *h) {
    home = h;
  } else {
    std::vector<char> buffer(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir)
      home = found->pw_dir;
  }
  if (home.empty())
    throw StateError("no state file: neither TQR_SIM_STATE, XDG_STATE_HOME nor HOME is set");
  return (std::filesystem::path(home) / ".local/state" / tail).string();
}

}  // namespace rfid::sim
