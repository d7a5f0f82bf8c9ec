// Shared by the simulator tests: a private state file per test, the built
// library bound as the program binds it, and the tool run as a child process.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "exchange.h"
#include "frame.h"
#include "library_reader.h"
#include "sim_state.h"

namespace rfid::sim::testing {

inline LibraryReader& Library() {
  static LibraryReader reader(TQR_SIM_LIBRARY);
  return reader;
}

inline std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? char(c) : '?';
  return out;
}

struct Reply {
  std::string text;  // up to the first NUL
  std::u16string raw;
  bool overrun = false;
};

inline Reply Send(const std::string& frame) {
  const ExchangeResult r = Exchange(Library(), frame);
  return {Narrow(UpToNul(r.reply)), r.reply, r.overrun};
}

inline std::string Status(const Reply& r) { return r.text.substr(0, 4); }

inline std::string ReadFrame(int block) { return WithBcc(ReadBody(block)); }
inline std::string WriteFrame(int block, const std::string& data32) {
  return WithBcc(ByteText(int(Command::Write)) + ByteText(block) + data32);
}
inline std::string BlockData(const Reply& r) {
  return ReplyField(r.text, kBlockDataStart, kBlockHexLength);
}

inline std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct ToolResult {
  int code = -1;
  std::string out;
  std::string err;
};

// Runs the built tool with args; env entries ("NAME=value", or "NAME" to
// remove it) change the child's environment only.
inline ToolResult RunTool(const std::vector<std::string>& args,
                          const std::vector<std::string>& env = {}) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  const std::string tag = std::to_string(getpid());
  const std::string outPath = (dir / ("tqr-sim-out." + tag)).string();
  const std::string errPath = (dir / ("tqr-sim-err." + tag)).string();
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr))
      _exit(127);
    for (const std::string& e : env) {
      const auto eq = e.find('=');
      if (eq == std::string::npos)
        unsetenv(e.c_str());
      else
        setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
    }
    std::vector<char*> argv{const_cast<char*>(TQR_SIM_TOOL)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(TQR_SIM_TOOL, argv.data());
    _exit(127);
  }
  ToolResult result;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    result.code = WEXITSTATUS(status);
  result.out = FileText(outPath);
  result.err = FileText(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return result;
}

// Runs body in a forked child; true when it exits with 0.
template <class F>
pid_t Child(F body) {
  const pid_t pid = fork();
  if (pid == 0) {
    int code = 1;
    try {
      code = body() ? 0 : 1;
    } catch (...) {
    }
    _exit(code);
  }
  return pid;
}

inline bool Succeeded(pid_t pid) {
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// Every test gets a fresh folder and its own state file in it.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tqr-sim-test.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_Dir = pattern;
    m_Path = (std::filesystem::path(m_Dir) / "state").string();
    setenv("TQR_SIM_STATE", m_Path.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TQR_SIM_STATE");
    std::filesystem::remove_all(m_Dir);
  }

  State Load() const { return StateStore(m_Path).Load(); }
  void Tool(const std::vector<std::string>& args) {
    const ToolResult r = RunTool(args);
    ASSERT_EQ(r.code, 0) << r.err;
  }

  std::string m_Dir;
  std::string m_Path;
};

}  // namespace rfid::sim::testing
