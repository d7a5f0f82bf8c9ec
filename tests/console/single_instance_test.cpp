#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sys/stat.h>
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

TEST(SingleInstance, WithoutARuntimeFolderAPrivateOneIsNamed) {
  QTemporaryDir tmp;
  const std::string base = tmp.path().toStdString();
  ScopedEnv tmpdir("TMPDIR", base.c_str());
  const std::string folder = base + "/rfid-console-" + std::to_string(getuid());
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    SingleInstance::SetRuntimeFolder();
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
    SingleInstance::SetRuntimeFolder();
    EXPECT_EQ(std::getenv("XDG_RUNTIME_DIR"), nullptr);
  }
}

}  // namespace
