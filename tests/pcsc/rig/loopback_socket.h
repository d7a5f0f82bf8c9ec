// A TCP connection to a port on the loopback address: a virtual card's line
// to vpcd, or a test's line to the rig service. One source file per
// platform implements it (BSD sockets, Winsock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rfid::pcsc::rig {

class LoopbackSocket {
 public:
  // Throws std::runtime_error naming the port when nothing listens there.
  explicit LoopbackSocket(int port);
  ~LoopbackSocket();
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  // False once the connection has ended.
  bool ReadExact(std::uint8_t* out, std::size_t length);
  bool WriteAll(const std::uint8_t* data, std::size_t length);
  bool WriteAll(const std::string& text) {
    return WriteAll(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  }
  // Ends the connection both ways; a read blocked in another thread returns.
  void Shutdown();

 private:
  std::intptr_t m_Socket;
};

}  // namespace rfid::pcsc::rig
