#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "tests/support/loopback_socket.h"

namespace rariduze::testing {
namespace {

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// Bound to 127.0.0.1:port; *bound_port gets the port. -1 on failure.
int BoundSocket(std::uint16_t port, std::uint16_t* bound_port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address = Loopback(port);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  *bound_port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

Socket ListenOnLoopback(std::uint16_t port, std::uint16_t* bound_port, int backlog) {
  int fd = BoundSocket(port, bound_port);
  if (fd < 0) return kNoSocket;
  if (::listen(fd, backlog) != 0) {
    ::close(fd);
    return kNoSocket;
  }
  return fd;
}

std::uint16_t ProbeLoopbackPort(std::uint16_t port) {
  std::uint16_t bound = 0;
  int fd = BoundSocket(port, &bound);
  if (fd < 0) return 0;
  ::close(fd);
  return bound;
}

Socket AcceptConnection(Socket listener) {
  int fd = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
  return fd < 0 ? kNoSocket : fd;
}

Socket ConnectToLoopback(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoSocket;
  sockaddr_in address = Loopback(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return kNoSocket;
  }
  return fd;
}

bool WaitReadable(Socket socket, int timeout_ms) {
  pollfd wait{static_cast<int>(socket), POLLIN, 0};
  int ready = ::poll(&wait, 1, timeout_ms);
  return ready > 0 && wait.revents != 0;
}

long ReceiveSome(Socket socket, char* buffer, std::size_t size) {
  ssize_t got;
  do {
    got = ::recv(static_cast<int>(socket), buffer, size, 0);
  } while (got < 0 && errno == EINTR);
  return static_cast<long>(got);
}

long SendSome(Socket socket, const char* data, std::size_t size) {
  ssize_t sent;
  do {
    sent = ::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent <= 0 ? -1 : static_cast<long>(sent);
}

void ShutDown(Socket socket) { ::shutdown(static_cast<int>(socket), SHUT_RDWR); }

void CloseSocket(Socket socket) {
  if (socket != kNoSocket) ::close(static_cast<int>(socket));
}

}  // namespace rariduze::testing
