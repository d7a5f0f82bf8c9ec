// Where the simulated reader's state file lives and how it is read, locked
// and replaced. One source file per platform implements this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "sim_state.h"

namespace rfid::sim {

inline constexpr std::size_t kMaxStateBytes = 1 << 20;

// Holds an exclusive lock on "<statePath>.lock" for its life, across
// processes; creates the state's folder when it is missing. The system
// drops the lock when the holder dies.
class StateLock {
 public:
  explicit StateLock(const std::string& statePath);
  ~StateLock();
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;

 private:
  std::intptr_t m_Handle = -1;
};

// The file's text, or nullopt when it does not exist.
std::optional<std::string> ReadStateFile(const std::string& path);

// Writes a complete temporary file beside path and puts it in path's place
// in one step, so that readers see the whole old or the whole new text.
// Only the lock holder may call it.
void WriteAtomically(const std::string& path, const std::string& text);

}  // namespace rfid::sim
