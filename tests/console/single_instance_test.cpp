#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "single_instance.h"

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

mode_t Mode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 0777;
}

TEST(SingleInstance, OneHolderPerUserWhateverTheEnvironmentAndFreeAgainOnceItEnds) {
  QTemporaryDir a, b;
  auto first = std::make_unique<SingleInstance>();
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", a.path().toLocal8Bit().constData());
    EXPECT_TRUE(first->Acquire());
  }
  EXPECT_EQ(first->LockPath(), "@rfid-console-" + std::to_string(getuid()));
  ScopedEnv runtime("XDG_RUNTIME_DIR", b.path().toLocal8Bit().constData());
  ScopedEnv tmpdir("TMPDIR", b.path().toLocal8Bit().constData());
  SingleInstance second;
  EXPECT_FALSE(second.Acquire());
  first.reset();
  EXPECT_TRUE(second.Acquire());
}

// Anyone may bind a name in the abstract namespace: a holder of another
// user is reported, not taken for a running copy.
TEST(SingleInstance, ANameHeldByAnotherUserIsReported) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t squatter = fork();
  if (squatter == 0) {
    if (setuid(65534) != 0) _exit(1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = "rfid-console-0";
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    if (bind(fd, reinterpret_cast<sockaddr*>(&address),
             socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size())) != 0 ||
        listen(fd, 1) != 0)
      _exit(1);
    if (write(ready[1], "x", 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  close(ready[1]);  // a squatter that could not bind ends the read
  char x;
  const bool bound = read(ready[0], &x, 1) == 1;
  close(ready[0]);
  if (!bound) {
    waitpid(squatter, nullptr, 0);
    FAIL() << "the squatter could not take the name";
  }
  SingleInstance instance;
  try {
    instance.Acquire();
    ADD_FAILURE() << "acquired a name another user holds";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("held by user 65534"), std::string::npos) << e.what();
  }
  kill(squatter, SIGKILL);
  waitpid(squatter, nullptr, 0);
}

TEST(SingleInstance, WithoutARuntimeFolderAPrivateOneIsNamed) {
  QTemporaryDir tmp;
  const std::string base = tmp.path().toStdString();
  ScopedEnv tmpdir("TMPDIR", base.c_str());
  const std::string folder = base + "/rfid-console-" + std::to_string(getuid());
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    SingleInstance::NameRuntimeFolder();
    EXPECT_EQ(std::string(std::getenv("XDG_RUNTIME_DIR")), folder);
    EXPECT_EQ(Mode(folder), 0700u);
  }
  // A folder others can reach, or a link in its place, is never named.
  const struct {
    const char* name;
    std::function<void()> spoil;
  } cases[] = {
      {"open to others", [&] { chmod(folder.c_str(), 0777); }},
      {"a link", [&] {
         rename(folder.c_str(), (folder + ".real").c_str());
         symlink((folder + ".real").c_str(), folder.c_str());
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.spoil();
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    SingleInstance::NameRuntimeFolder();
    EXPECT_EQ(std::getenv("XDG_RUNTIME_DIR"), nullptr);
  }
}

}  // namespace
