// rfid-console started as another program starts it, on the PC/SC reader
// library, with the rig's MIFARE Classic card on the reader or taken away.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "rig_fixture.h"

extern char** environ;

namespace rfid::pcsc::rig {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Console {
 public:
  explicit Console(std::vector<std::string> words) {
    char pattern[] = "/tmp/rfid-pcsc-console.XXXXXX";
    m_Dir = ::mkdtemp(pattern);
    ::chmod(m_Dir.c_str(), 0700);  // its own runtime dir: its own instance lock
    m_Log = m_Dir + "/stderr.log";
    std::vector<std::string> env;
    const auto ours = [](const std::string& var) {
      for (const char* name : {"LD_LIBRARY_PATH=", "XDG_RUNTIME_DIR=", "QT_QPA_PLATFORM=",
                               "QT_LOGGING_RULES=", "TQR_PCSC_"})
        if (var.rfind(name, 0) == 0) return true;
      return false;
    };
    for (char** e = environ; *e; ++e)
      if (!ours(*e)) env.push_back(*e);
    env.push_back("LD_LIBRARY_PATH=" RFID_PCSC_LIBRARY_DIR);
    env.push_back("XDG_RUNTIME_DIR=" + m_Dir);
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("QT_LOGGING_RULES=rfid.*=true");
    std::vector<std::string> args = {RFID_CONSOLE_BIN};
    args.insert(args.end(), words.begin(), words.end());
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, m_Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const int rc =
        posix_spawn(&m_Pid, RFID_CONSOLE_BIN, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) m_Pid = -1;
  }
  ~Console() {
    if (Running()) {
      ::kill(m_Pid, SIGKILL);
      ::waitpid(m_Pid, nullptr, 0);
    }
    std::error_code ignored;
    fs::remove_all(m_Dir, ignored);
  }

  bool Started() const { return m_Pid > 0; }
  bool Running() {
    if (m_Pid <= 0 || m_Exited) return false;
    if (::waitpid(m_Pid, &m_Status, WNOHANG) == m_Pid) m_Exited = true;
    return !m_Exited;
  }
  // True when it ended within the time.
  bool WaitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Running()) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(20ms);
    }
    return m_Exited;
  }
  bool WaitForLog(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Log().find(text) == std::string::npos) {
      if (Clock::now() > deadline || !Running()) return Log().find(text) != std::string::npos;
      std::this_thread::sleep_for(20ms);
    }
    return true;
  }
  void Terminate() { ::kill(m_Pid, SIGTERM); }
  int ExitCode() const { return WIFEXITED(m_Status) ? WEXITSTATUS(m_Status) : -1; }
  std::string Log() const {
    std::ifstream in(m_Log);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  std::string m_Dir, m_Log;
  pid_t m_Pid = -1;
  int m_Status = 0;
  bool m_Exited = false;
};


class ConsoleOnRig : public RigTest {};

TEST_F(ConsoleOnRig, UnattendedWriteClosesByItself) {
  VirtualCard& card = Inserted(CardType::Classic1K);
  Console console({"0012345678", "홍길동"});
  ASSERT_TRUE(console.Started());
  ASSERT_TRUE(console.WaitForExit(15s)) << console.Log();
  EXPECT_EQ(console.ExitCode(), 0) << console.Log();
  EXPECT_NE(console.Log().find("write verified: 0012345678"), std::string::npos) << console.Log();
  EXPECT_EQ(Hex(card.With([](CardModel& m) { return m.Read(16, 16); })),
            "0012345678AAAAAA2020202020202020");
}

TEST_F(ConsoleOnRig, StaysOpenWhenTheCardIsTakenAway) {
  VirtualCard& card = Inserted(CardType::Classic1K);
  const Bytes before = card.With([](CardModel& m) { return m.Read(0, m.Size()); });
  Remove(card);
  Console console({"0012345678", "홍길동"});
  ASSERT_TRUE(console.Started());
  EXPECT_TRUE(console.WaitForLog("write failed", 10s)) << console.Log();
  // Its timer is off after a failed write: nothing closes it now.
  EXPECT_FALSE(console.WaitForExit(3s)) << console.Log();
  console.Terminate();
  ASSERT_TRUE(console.WaitForExit(5s));
  EXPECT_EQ(console.ExitCode(), 1);  // the write asked for did not verify
  EXPECT_EQ(card.With([](CardModel& m) { return m.Read(0, m.Size()); }), before);
  EXPECT_TRUE(card.Apdus().empty());
}

}  // namespace
}  // namespace rfid::pcsc::rig
