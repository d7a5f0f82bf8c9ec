#include "loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace rfid::pcsc::rig {

LoopbackSocket::LoopbackSocket(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(std::uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    throw std::runtime_error("nothing listens on port " + std::to_string(port) + ": " +
                             std::strerror(error));
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  m_Socket = fd;
}

LoopbackSocket::~LoopbackSocket() { ::close(int(m_Socket)); }

bool LoopbackSocket::ReadExact(std::uint8_t* out, std::size_t length) {
  const int one = 1;
  while (length > 0) {
    // vpcd writes length and payload apart: without a quick ACK each
    // exchange waits for the delayed-ACK timer.
    ::setsockopt(int(m_Socket), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    const ssize_t n = ::recv(int(m_Socket), out, length, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out += n;
    length -= std::size_t(n);
  }
  return true;
}

bool LoopbackSocket::WriteAll(const std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::send(int(m_Socket), data, length, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    length -= std::size_t(n);
  }
  return true;
}

void LoopbackSocket::Shutdown() { ::shutdown(int(m_Socket), SHUT_RDWR); }

}  // namespace rfid::pcsc::rig
