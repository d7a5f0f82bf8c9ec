#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>
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

TEST(SingleInstance, OneHolderAtATimeAndFreeAgainOnceItEnds) {
  QTemporaryDir dir;
  ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path().toLocal8Bit().constData());
  auto first = std::make_unique<SingleInstance>();
  EXPECT_TRUE(first->Acquire());
  EXPECT_EQ(first->LockPath(), dir.filePath("rfid-console.lock").toStdString());
  EXPECT_EQ(Mode(first->LockPath()), 0600u);
  SingleInstance second;
  EXPECT_FALSE(second.Acquire());
  first.reset();
  EXPECT_TRUE(second.Acquire());
}

TEST(SingleInstance, WithoutARuntimeFolderAPrivateOneServes) {
  QTemporaryDir tmp;
  const std::string base = tmp.path().toStdString();
  ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
  ScopedEnv tmpdir("TMPDIR", base.c_str());
  const std::string folder = base + "/rfid-console-" + std::to_string(getuid());

  SingleInstance instance;
  EXPECT_TRUE(instance.Acquire());
  EXPECT_EQ(instance.LockPath(), folder + "/rfid-console.lock");
  EXPECT_EQ(Mode(folder), 0700u);
  EXPECT_EQ(Mode(instance.LockPath()), 0600u);

  // A folder others can reach, or a link in its place, is refused.
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
    SingleInstance other;
    EXPECT_THROW(other.Acquire(), std::runtime_error);
  }
}

}  // namespace
