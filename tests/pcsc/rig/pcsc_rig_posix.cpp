#include "pcsc_rig.h"

#include <fcntl.h>
#include <spawn.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <winscard.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

extern "C" char** environ;

namespace rfid::pcsc::rig {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kPcscd = "/usr/sbin/pcscd";
constexpr const char* kVpcdDriver = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so";
constexpr const char* kSocket = "/run/pcscd/pcscd.comm";
constexpr const char* kPidFile = "/run/pcscd/pcscd.pid";
constexpr const char* kLockFile = "/tmp/rfid-pcsc-rig.lock";

// A live process named pcscd (zombies do not count).
bool PcscdRuns(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const auto open = line.find('('), close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close + 2 >= line.size())
    return false;
  return line.substr(open + 1, close - open - 1) == "pcscd" && line[close + 2] != 'Z';
}

// pcscd built with polkit asks a polkit daemon about every client; a root
// without one (a Debian 13 tree for Wine, say) turns that off.
bool PcscdTakes(const std::string& option) {
  FILE* help = ::popen((std::string(kPcscd) + " --help 2>&1").c_str(), "r");
  if (!help) return false;
  std::string text;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, help)) text += buffer;
  ::pclose(help);
  return text.find(option) != std::string::npos;
}

bool SocketAccepts() {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, kSocket, sizeof address.sun_path - 1);
  const bool accepts = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return accepts;
}

}  // namespace

void ClearStalePcscd() {
  std::ifstream pidFile(kPidFile);
  long pid = 0;
  if (pidFile >> pid && pid > 0 && PcscdRuns(pid_t(pid)))
    throw std::runtime_error("a pcscd the rig did not start runs (PID " + std::to_string(pid) +
                             "); stop it first");
  // A socket somebody still accepts on (a service manager's, say) is no
  // leftover: only a dead one's goes.
  if (SocketAccepts())
    throw std::runtime_error(std::string(kSocket) + " accepts connections: a PC/SC service the "
                             "rig did not start runs; stop it first");
  std::error_code ignored;
  fs::remove(kSocket, ignored);
  fs::remove(kPidFile, ignored);
}

namespace {

bool ReaderListed(const char* name) {
  SCARDCONTEXT context;
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
    return false;
  char buffer[4096];
  DWORD size = sizeof buffer;
  const LONG rv = SCardListReaders(context, nullptr, buffer, &size);
  SCardReleaseContext(context);
  if (rv != SCARD_S_SUCCESS) return false;
  for (const char* p = buffer; *p; p += std::strlen(p) + 1)
    if (std::strcmp(p, name) == 0) return true;
  return false;
}

bool ServiceAnswers() {
  SCARDCONTEXT context;
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
    return false;
  SCardReleaseContext(context);
  return true;
}

}  // namespace

std::optional<std::string> RigMissing() {
  if (geteuid() != 0) return "the rig runs pcscd, which needs root";
  if (access(kPcscd, X_OK) != 0) return std::string(kPcscd) + " is missing (package pcscd)";
  if (access(kVpcdDriver, R_OK) != 0)
    return std::string(kVpcdDriver) + " is missing (package vsmartcard-vpcd)";
  return std::nullopt;
}

RigLock::RigLock() {
  m_Fd = ::open(kLockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (m_Fd < 0) throw std::runtime_error(std::string("cannot open ") + kLockFile);
  while (::flock(m_Fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    ::close(m_Fd);
    throw std::runtime_error(std::string("cannot lock ") + kLockFile + ": " + std::strerror(errno));
  }
}

RigLock::~RigLock() { ::close(m_Fd); }

PcscRig::PcscRig(Readers readers, const std::string& name) {
  try {
    ClearStalePcscd();
    char pattern[] = "/tmp/rfid-pcsc-rig.XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    m_Dir = pattern;
    const std::string config = m_Dir + "/reader.conf.d";
    fs::create_directory(config);
    if (readers == Readers::Virtual) {
      std::ofstream conf(config + "/vpcd");
      conf << "FRIENDLYNAME \"" << name << "\"\n"
           << "DEVICENAME   /dev/null:0x8C7B\n"
           << "LIBPATH      " << kVpcdDriver << "\n"
           << "CHANNELID    0x8C7B\n";
    }
    const std::string log = m_Dir + "/pcscd.log";
    std::vector<std::string> args = {kPcscd, "--foreground", "--config", config};
    if (PcscdTakes("--disable-polkit")) args.push_back("--disable-polkit");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    m_Pid = ::fork();
    if (m_Pid < 0) throw std::runtime_error("fork failed");
    if (m_Pid == 0) {
      // pcscd dies with the test, however the test ends.
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != parent) ::_exit(127);
      const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
      }
      ::execv(kPcscd, argv.data());
      ::_exit(127);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (;;) {
      int status = 0;
      if (::waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
        m_Pid = -1;
        throw std::runtime_error("pcscd ended at once:\n" + Log());
      }
      if (readers == Readers::Virtual ? ReaderListed((name + " 00 00").c_str()) : ServiceAnswers())
        break;
      if (Clock::now() > deadline) throw std::runtime_error("pcscd did not come up:\n" + Log());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  } catch (...) {
    Stop();
    std::error_code ignored;
    if (!m_Dir.empty()) fs::remove_all(m_Dir, ignored);
    throw;
  }
}

PcscRig::~PcscRig() {
  Stop();
  std::error_code ignored;
  fs::remove_all(m_Dir, ignored);
}

void PcscRig::Stop() {
  if (m_Pid <= 0) return;
  ::kill(m_Pid, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (::waitpid(m_Pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      ::kill(m_Pid, SIGKILL);
      ::waitpid(m_Pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  m_Pid = -1;
}

std::string PcscRig::Log() const {
  std::ifstream in(m_Dir + "/pcscd.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool PcscRig::WaitForCard(const std::string& reader, bool present,
                          std::chrono::milliseconds timeout) const {
  SCARDCONTEXT context;
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
    return false;
  const auto deadline = Clock::now() + timeout;
  SCARD_READERSTATE state{};
  state.szReader = reader.c_str();
  state.dwCurrentState = SCARD_STATE_UNAWARE;
  bool reached = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() < 0) break;
    const LONG rv = SCardGetStatusChange(context, DWORD(left.count()), &state, 1);
    if (rv != SCARD_S_SUCCESS && rv != SCARD_E_TIMEOUT) break;
    const bool has = (state.dwEventState & SCARD_STATE_PRESENT) &&
                     !(state.dwEventState & SCARD_STATE_MUTE);
    if (has == present) {
      reached = true;
      break;
    }
    if (rv == SCARD_E_TIMEOUT) break;
    state.dwCurrentState = state.dwEventState & ~DWORD(SCARD_STATE_CHANGED);
  }
  SCardReleaseContext(context);
  return reached;
}

OtherProgram::OtherProgram(const std::string& tool, const std::string& reader, Hold hold,
                           std::chrono::milliseconds duration) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    throw std::runtime_error("pipe failed");
  }
  std::vector<std::string> args = {tool, reader, hold == Hold::Exclusive ? "exclusive" : "transaction",
                                   std::to_string(duration.count())};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  const int rc = ::posix_spawn(&m_Pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  m_Input = in[1];
  if (rc != 0) {
    m_Pid = -1;
    ::close(out[0]);
    Release();
    throw std::runtime_error("cannot start " + tool + ": " + std::strerror(rc));
  }
  std::string line;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  if (line != "held") {
    Release();
    throw std::runtime_error(tool + " did not hold \"" + reader + "\"");
  }
}

OtherProgram::~OtherProgram() {
  if (m_Pid > 0) ::kill(m_Pid, SIGTERM);
  Release();
}

void OtherProgram::Release() {
  if (m_Input >= 0) ::close(m_Input);
  m_Input = -1;
  if (m_Pid > 0) ::waitpid(m_Pid, nullptr, 0);
  m_Pid = -1;
}

bool OtherProgram::WaitForEnd(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (m_Pid > 0) {
    if (::waitpid(m_Pid, nullptr, WNOHANG) == m_Pid) {
      m_Pid = -1;
      break;
    }
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace rfid::pcsc::rig
