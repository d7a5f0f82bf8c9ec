#include "log_output.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rfid::ui {

void SendLogToStandardError() {}  // Qt's default on Linux

bool StandardOutputAttached() { return true; }

namespace {
class PosixLogFile final : public LogFile {
 public:
  explicit PosixLogFile(int fd) : m_Fd(fd) {}
  ~PosixLogFile() override { ::close(m_Fd); }

  bool Append(const QByteArray& line, QString& why) override {
    const ssize_t written = ::write(m_Fd, line.constData(), std::size_t(line.size()));
    if (written == line.size()) return true;
    why = QString::fromLocal8Bit(std::strerror(written < 0 ? errno : ENOSPC));
    // A torn line would have the next process's line glued to it: cut it
    // off again while it is still the file's end.
    struct stat st {};
    const off_t end = ::lseek(m_Fd, 0, SEEK_CUR);
    if (written > 0 && ::fstat(m_Fd, &st) == 0 && st.st_size == end) {
      if (::ftruncate(m_Fd, end - written) != 0) why += QStringLiteral(" (a part of the line is left)");
    }
    return false;
  }

 private:
  int m_Fd;
};
}  // namespace

std::unique_ptr<LogFile> LogFile::Open(const QString& path, QString& why) {
  // O_NONBLOCK: a FIFO without a reader fails at once instead of waiting.
  const int fd = ::open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) {
    why = QString::fromLocal8Bit(std::strerror(errno));
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    why = QStringLiteral("not a regular file");
    return nullptr;
  }
  // Appends never block on a regular file; the flag goes all the same.
  ::fcntl(fd, F_SETFL, O_APPEND);
  return std::make_unique<PosixLogFile>(fd);
}

}  // namespace rfid::ui
