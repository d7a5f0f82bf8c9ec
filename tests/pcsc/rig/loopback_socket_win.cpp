#include "loopback_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdexcept>

namespace rfid::pcsc::rig {

namespace {

std::string WsaError(const char* call) {
  return std::string(call) + ": Winsock error " + std::to_string(WSAGetLastError());
}

void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    return true;
  }();
  (void)started;
}

SOCKET Of(std::intptr_t s) { return SOCKET(s); }

}  // namespace

LoopbackSocket::LoopbackSocket(int port) {
  StartWinsock();
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) throw std::runtime_error(WsaError("socket"));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(u_short(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const std::string why = WsaError("connect");
    ::closesocket(s);
    throw std::runtime_error("nothing listens on port " + std::to_string(port) + ": " + why);
  }
  const BOOL one = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  m_Socket = std::intptr_t(s);
}

LoopbackSocket::~LoopbackSocket() { ::closesocket(Of(m_Socket)); }

bool LoopbackSocket::ReadExact(std::uint8_t* out, std::size_t length) {
  while (length > 0) {
    const int n = ::recv(Of(m_Socket), reinterpret_cast<char*>(out), int(length), 0);
    if (n <= 0) return false;
    out += n;
    length -= std::size_t(n);
  }
  return true;
}

bool LoopbackSocket::WriteAll(const std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const int n = ::send(Of(m_Socket), reinterpret_cast<const char*>(data), int(length), 0);
    if (n <= 0) return false;
    data += n;
    length -= std::size_t(n);
  }
  return true;
}

void LoopbackSocket::Shutdown() { ::shutdown(Of(m_Socket), SD_BOTH); }

}  // namespace rfid::pcsc::rig
