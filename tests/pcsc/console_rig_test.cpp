// rfid-console started as another program starts it, on the PC/SC reader
// library, with the rig's MIFARE Classic card on the reader or taken away.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "fault_table.h"
#include "hex.h"
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
    ::chmod(m_Dir.c_str(), 0700);  // its own runtime folder (the instance lock is not there)
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

// The fault table's PC/SC rows: rfid-console 0012345678 홍길동 on the PC/SC
// reader library, a fault made once the console has loaded (its detect
// done, the write due at the next tick). No row may show success while the
// card does not hold the number.
TEST_F(ConsoleOnRig, FaultTableRows) {
  using testing::FromHex;
  const Bytes number = FromHex("0012345678AAAAAA2020202020202020");
  const Bytes other = FromHex("0099999999AAAAAA2020202020202020");
  enum class Fault { None, Removed, LiftedBeside, SlowFirstPage, RemovedBetweenPages };
  struct Row {
    const char* name;
    CardType type;
    Fault fault;
    bool verified;
    // The block afterwards: the number, the old data, or the first page
    // marked FF FF FF FF (no number).
    enum { Number, Old, Marked } block;
  };
  const Row rows[] = {
      {"no fault", CardType::Classic1K, Fault::None, true, Row::Number},
      {"card taken away before the start", CardType::Classic1K, Fault::Removed, false, Row::Old},
      {"two readers, the detected card lifted", CardType::Classic1K, Fault::LiftedBeside, false,
       Row::Old},
      {"slow first page past the time limit", CardType::Ultralight, Fault::SlowFirstPage, false,
       Row::Number},
      {"card removed between pages", CardType::Ultralight, Fault::RemovedBetweenPages, false,
       Row::Marked},
  };
  std::printf("\n");
  rfid::testing::PrintFaultTableHeading("PC/SC fault");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    VirtualCard& card = NewCard(row.type);
    card.With([&](CardModel& m) { m.Write(16, other); });
    Insert(card);
    VirtualCard* beside = nullptr;
    if (row.fault == Fault::LiftedBeside) {
      beside = &NewCard(CardType::Classic1K);
      beside->With([&](CardModel& m) { m.Write(16, other); });
      Insert(*beside, kVpcdPort1);
    }
    if (row.fault == Fault::Removed) Remove(card);
    Console console({"0012345678", "홍길동"});
    ASSERT_TRUE(console.Started());
    ASSERT_TRUE(console.WaitForLog("loaded:", 10s)) << console.Log();
    if (row.fault == Fault::LiftedBeside) Remove(card);
    if (row.fault == Fault::SlowFirstPage) card.DelayOnApdu(1, 3500);
    if (row.fault == Fault::RemovedBetweenPages) card.RemoveOnApdu(3);
    const bool verified = console.WaitForLog("write verified", 10s);
    const bool failed = !verified && console.WaitForLog("write failed", 10s);
    const bool byItself = console.WaitForExit(verified ? 5s : 3s);
    if (!byItself) console.Terminate();
    ASSERT_TRUE(console.WaitForExit(5s));
    if (row.fault == Fault::SlowFirstPage) std::this_thread::sleep_for(1s);  // its pages follow
    const Bytes block = card.With([](CardModel& m) { return m.Read(16, 16); });
    EXPECT_EQ(verified, row.verified) << console.Log();
    EXPECT_EQ(failed, !row.verified) << console.Log();
    EXPECT_EQ(byItself, row.verified);
    EXPECT_EQ(console.ExitCode(), row.verified ? 0 : 1);
    EXPECT_FALSE(verified && block != number);
    const bool blockAsExpected =
        row.block == Row::Number ? block == number
        : row.block == Row::Old  ? block == other
                                 : Bytes(block.begin(), block.begin() + 4) == Bytes(4, 0xFF);
    EXPECT_TRUE(blockAsExpected) << Hex(block);
    if (beside) {
      EXPECT_EQ(beside->With([](CardModel& m) { return m.Read(16, 16); }), other);
      // No read or write reached it (a beep may: beeps serve any reader).
      for (const Bytes& apdu : beside->Apdus()) EXPECT_EQ(apdu[1], 0x00) << row.name;
      Remove(*beside, kVpcdPort1);
    }
    const bool ok = !(verified && block != number) && verified == row.verified &&
                    blockAsExpected && console.ExitCode() == (row.verified ? 0 : 1);
    rfid::testing::PrintFaultRow(
        row.name, block == number ? "number" : block == other ? "old" : "no number",
        verified ? "정상 저장 OK" : failed ? "저장 실패" : "(none)",
        std::string(byItself ? "by itself" : "SIGTERM") + ", status " +
            std::to_string(console.ExitCode()),
        ok ? "✓" : "✗");
    if (card.Inserted()) Remove(card);
  }
  std::fflush(stdout);
}

}  // namespace
}  // namespace rfid::pcsc::rig
