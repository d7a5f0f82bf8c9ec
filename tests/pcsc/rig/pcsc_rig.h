// pcscd with vpcd's virtual readers, started as a child of the test and
// stopped by its PID. One rig at a time on a machine: pcscd's socket has a
// fixed path, so the rig holds a lock file while it runs.
//
// A Windows test under Wine cannot start or stop a Linux service: there the
// rig service (pcsc-rig serve, started beside Wine) does both at the
// test's request, and the classes below ask it (pcsc_rig_win.cpp).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

namespace rfid::pcsc::rig {

inline constexpr const char* kVirtualReaders = "Virtual PCD";  // vpcd's readers' name
inline constexpr const char* kReader0 = "Virtual PCD 00 00";
inline constexpr const char* kReader1 = "Virtual PCD 00 01";

// Where the rig service listens, on the loopback address. Its requests are
// lines; each reply is "ok N" or "error N", a newline and N bytes of text.
inline constexpr int kRigServicePort = 35970;

// Why the rig cannot run on this machine (not root, pcscd or vpcd missing),
// or nullopt.
std::optional<std::string> RigMissing();

// The machine-wide lock every rig holds while it runs, so that rigs of two
// test runs never meet. Blocks until it is free.
class RigLock {
 public:
  RigLock();
  ~RigLock();
  RigLock(const RigLock&) = delete;
  RigLock& operator=(const RigLock&) = delete;

 private:
  int m_Fd = -1;
};

// Removes the socket and PID file a dead pcscd left; throws
// std::runtime_error when a pcscd the rig did not start is running.
void ClearStalePcscd();

class PcscRig {
 public:
  enum class Readers { Virtual, None };

  // Starts pcscd and returns once PC/SC lists its readers, vpcd's under
  // name ("<name> 00 00" and "<name> 00 01"); throws std::runtime_error
  // with pcscd's output when it does not come up.
  explicit PcscRig(Readers readers = Readers::Virtual, const std::string& name = kVirtualReaders);
  ~PcscRig();
  PcscRig(const PcscRig&) = delete;
  PcscRig& operator=(const PcscRig&) = delete;

  // Stops pcscd (SIGTERM, then SIGKILL) and waits for it.
  void Stop();
  pid_t Pid() const { return m_Pid; }
  std::string Log() const;

  // Waits, through PC/SC, until reader holds a card (or none).
  bool WaitForCard(const std::string& reader, bool present,
                   std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

 private:
  RigLock m_Lock;
  std::string m_Dir;
  pid_t m_Pid = -1;
};

// Another program holding a reader: the pcsc-hold tool, started as a child
// and stopped by its PID. Under Wine the rig service starts the Linux
// pcsc-hold beside it instead of tool.
class OtherProgram {
 public:
  enum class Hold { Exclusive, Transaction };

  // Returns once the hold is in place; throws std::runtime_error when it is
  // not. A hold of 0 ms lasts until Release.
  OtherProgram(const std::string& tool, const std::string& reader, Hold hold,
               std::chrono::milliseconds duration = std::chrono::milliseconds(0));
  ~OtherProgram();
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;

  pid_t Pid() const { return m_Pid; }
  // Ends the hold and waits for the program to end.
  void Release();
  // Waits for the program to end by itself.
  bool WaitForEnd(std::chrono::milliseconds timeout);

 private:
  pid_t m_Pid = -1;
  int m_Input = -1;  // its standard input
};

}  // namespace rfid::pcsc::rig
