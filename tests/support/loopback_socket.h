#pragma once

#include <cstddef>
#include <cstdint>

namespace rariduze::testing {

// The few socket operations the test servers and port probes need, on 127.0.0.1 only, the same
// on every platform. A socket is a plain number; kNoSocket when there is none.
using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// Listens on 127.0.0.1:port (0: any free port); *bound_port gets the port. kNoSocket on failure.
Socket ListenOnLoopback(std::uint16_t port, std::uint16_t* bound_port, int backlog = 16);
// Binds 127.0.0.1:port without listening (0: any); the port, or 0 when it cannot be bound.
std::uint16_t ProbeLoopbackPort(std::uint16_t port);
Socket AcceptConnection(Socket listener);
// Connects to 127.0.0.1:port; kNoSocket when nothing accepts.
Socket ConnectToLoopback(std::uint16_t port);
// True when the socket has input (or the peer left, or a connection waits) within timeout_ms.
bool WaitReadable(Socket socket, int timeout_ms);
// Bytes received (0: the peer left, -1: failure).
long ReceiveSome(Socket socket, char* buffer, std::size_t size);
// Bytes sent (-1: the peer left or failure); never raises a signal.
long SendSome(Socket socket, const char* data, std::size_t size);
void ShutDown(Socket socket);
void CloseSocket(Socket socket);

}  // namespace rariduze::testing
