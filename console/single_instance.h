// One running copy per user: an exclusive lock held for the process's life.
// The kernel drops it when the process dies, however it dies.
#pragma once

#include <string>

class SingleInstance {
 public:
  SingleInstance() = default;
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this process now holds the lock; false when another copy
  // holds it. Throws std::runtime_error when no lock file can be had safely.
  bool Acquire();
  const std::string& LockPath() const { return path_; }

  // $XDG_RUNTIME_DIR/rfid-console.lock, or a private per-user folder under
  // the temporary directory when that is unset.
  static std::string DefaultLockPath();

  // Names the per-user runtime folder in the environment when the session
  // gave none (the private folder above), so that Qt, which looks for one
  // too, finds it instead of warning on standard error. Before QApplication.
  static void NameRuntimeFolder();

 private:
  int fd_ = -1;
  std::string path_;
};
