// One running copy per user: an exclusive lock held for the process's life.
// The kernel drops it when the process dies, however it dies. On Linux an
// abstract-namespace socket named with the user's id, on Windows a named
// mutex in the session's namespace whose name holds the user's SID. One
// source file per platform implements it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

class SingleInstance {
 public:
  // What rfid-console --check holds beside the name while it looks.
  static constexpr const char* kCheckRole = "-check";

  // A role names another lock beside the console's, of the same user.
  explicit SingleInstance(std::string role = {}) : role_(std::move(role)) {}
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this process now holds the lock; false when another copy
  // holds it. Throws std::runtime_error when no lock can be had safely.
  bool Acquire();
  const std::string& LockPath() const { return path_; }

  // Linux: other copies connect to ask who holds the name, and the
  // connections wait in a short queue until accepted: AcceptPending answers
  // them (closes them) whenever ConnectionSocket is readable. -1 and nothing
  // to do on Windows, or before Acquire.
  int ConnectionSocket() const;
  void AcceptPending();

  // Linux: @rfid-console-<uid> (abstract socket; the environment plays no
  // part). Windows: Local\rfid-console-<user's SID>. A role's lock has the
  // role after it.
  static std::string DefaultLockPath();

  // Whether a --check of this user is looking at the desk now: a console
  // started meanwhile waits for it instead of being refused.
  static bool CheckRunning() {
    SingleInstance check(kCheckRole);
    try {
      return !check.Acquire();
    } catch (const std::exception&) {
      return false;
    }
  }

  // Sets XDG_RUNTIME_DIR to the user's private folder (the lock's own, on
  // Linux) when the session gave none, so that Qt, which looks for one too,
  // finds it instead of warning on standard error. Before QApplication.
  // Nothing to do on Windows.
  static void SetRuntimeFolder();

 private:
  std::string role_;
  std::intptr_t handle_ = -1;  // the file descriptor, or the mutex handle
  std::string path_;
};
