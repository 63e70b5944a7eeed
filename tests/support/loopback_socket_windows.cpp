#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/support/loopback_socket.h"

namespace rariduze::testing {
namespace {

// Windows sockets need starting once per process, before the first socket.
struct SocketsStarted {
  SocketsStarted() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
  }
};

SOCKET NewSocket() {
  static SocketsStarted started;
  SOCKET s =
      ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  return s;
}

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

SOCKET BoundSocket(std::uint16_t port, std::uint16_t* bound_port) {
  SOCKET s = NewSocket();
  if (s == INVALID_SOCKET) return INVALID_SOCKET;
  // Without this, another program could bind the same port beside it.
  BOOL exclusive = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
  sockaddr_in address = Loopback(port);
  int length = sizeof address;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::closesocket(s);
    return INVALID_SOCKET;
  }
  *bound_port = ntohs(address.sin_port);
  return s;
}

Socket Wrap(SOCKET s) { return s == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(s); }
SOCKET Unwrap(Socket s) { return static_cast<SOCKET>(s); }

}  // namespace

Socket ListenOnLoopback(std::uint16_t port, std::uint16_t* bound_port, int backlog) {
  SOCKET s = BoundSocket(port, bound_port);
  if (s == INVALID_SOCKET) return kNoSocket;
  if (::listen(s, backlog) != 0) {
    ::closesocket(s);
    return kNoSocket;
  }
  return Wrap(s);
}

std::uint16_t ProbeLoopbackPort(std::uint16_t port) {
  std::uint16_t bound = 0;
  SOCKET s = BoundSocket(port, &bound);
  if (s == INVALID_SOCKET) return 0;
  ::closesocket(s);
  return bound;
}

Socket AcceptConnection(Socket listener) {
  return Wrap(::accept(Unwrap(listener), nullptr, nullptr));
}

Socket ConnectToLoopback(std::uint16_t port) {
  SOCKET s = NewSocket();
  if (s == INVALID_SOCKET) return kNoSocket;
  sockaddr_in address = Loopback(port);
  if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::closesocket(s);
    return kNoSocket;
  }
  return Wrap(s);
}

bool WaitReadable(Socket socket, int timeout_ms) {
  WSAPOLLFD wait{Unwrap(socket), POLLRDNORM, 0};
  int ready = ::WSAPoll(&wait, 1, timeout_ms);
  return ready > 0 && wait.revents != 0;
}

long ReceiveSome(Socket socket, char* buffer, std::size_t size) {
  int got = ::recv(Unwrap(socket), buffer, static_cast<int>(size), 0);
  return got == SOCKET_ERROR ? -1 : got;
}

long SendSome(Socket socket, const char* data, std::size_t size) {
  int sent = ::send(Unwrap(socket), data, static_cast<int>(size), 0);
  return sent == SOCKET_ERROR || sent == 0 ? -1 : sent;
}

void ShutDown(Socket socket) { ::shutdown(Unwrap(socket), SD_BOTH); }

void CloseSocket(Socket socket) {
  if (socket != kNoSocket) ::closesocket(Unwrap(socket));
}

}  // namespace rariduze::testing
