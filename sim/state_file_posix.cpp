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
  explicit Fd(int fd) : m_Fd(fd) {}
  ~Fd() {
    if (m_Fd >= 0) ::close(m_Fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_Fd; }
  int release() {
    const int fd = m_Fd;
    m_Fd = -1;
    return fd;
  }

 private:
  int m_Fd;
};

std::string KindOfFile(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "a special file";
}

void RequireRegular(int fd, const std::string& what, const std::string& path) {
  struct stat st{};
  if (::fstat(fd, &st) != 0) ThrowErrno("cannot examine the " + what, path);
  if (!S_ISREG(st.st_mode))
    throw StateError(what + " " + path + " is " + KindOfFile(st.st_mode) + ", not a regular file");
}

StateError SymlinkRefusal(const std::string& path) {
  return StateError("state file " + path +
                    " is a symbolic link; links are not followed: name the file itself");
}

// What the rename would replace must be a state file (or nothing): never a
// link, a FIFO, a device or a folder someone put in its place.
void RequireReplaceable(const std::string& path) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return;
    ThrowErrno("cannot examine the state file", path);
  }
  if (S_ISLNK(st.st_mode)) throw SymlinkRefusal(path);
  if (!S_ISREG(st.st_mode))
    throw StateError("state file " + path + " is " + KindOfFile(st.st_mode) +
                     ", not a regular file");
}

}  // namespace

StateLock::StateLock(const std::string& statePath) {
  const std::filesystem::path parent = std::filesystem::path(statePath).parent_path();
  if (!parent.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (ec) throw StateError("cannot create the folder " + parent.string() + ": " + ec.message());
  }
  const std::string lockPath = statePath + ".lock";
  // A FIFO or device put there must not hold us up, a link must not lead
  // us elsewhere.
  Fd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (fd.get() < 0) ThrowErrno("cannot open the lock file", lockPath);
  RequireRegular(fd.get(), "lock file", lockPath);
  while (::flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) ThrowErrno("cannot lock", lockPath);
  }
  m_Handle = fd.release();
}

StateLock::~StateLock() { ::close(int(m_Handle)); }  // closing releases the lock

// The file's text, or nullopt when it does not exist.
std::optional<std::string> ReadStateFile(const std::string& path) {
  // Non-blocking: opening a FIFO for reading would wait for a writer.
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    if (errno == ELOOP) throw SymlinkRefusal(path);
    ThrowErrno("cannot open the state file", path);
  }
  RequireRegular(fd.get(), "state file", path);
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
  RequireReplaceable(path);
  // Only the lock holder writes it. A leftover of a crashed writer, or
  // anything else under that name, is removed (a link itself, never what it
  // points to), and the file is created afresh: O_EXCL never opens an
  // existing file or follows a link.
  const std::string temp = path + ".tmp";
  if (::unlink(temp.c_str()) != 0 && errno != ENOENT) ThrowErrno("cannot remove", temp);
  {
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
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
