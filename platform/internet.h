#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/internet_limits.h"

namespace rariduze {

// An opaque handle of the internet operations; 0 means failure, and closing 0 is harmless.
using InternetHandle = std::uintptr_t;

// How a session reaches the network.
enum class InternetAccess : int {
  kPreconfigured = 0,  // the system's settings for each address (on Linux the desktop's)
  kDirect = 1,         // no proxy, even when the environment names one
  kProxy = 3,          // the proxy named when the session is opened
};

inline constexpr std::int32_t kInvalidSetFilePointer = -1;
inline constexpr std::uint32_t kMaxReadSize = 2048;
inline constexpr std::uint16_t kDefaultHttpPort = 0;  // the service's default, 80
inline constexpr std::uint16_t kDefaultHttpsPort = 443;

// Flags of OpenRequest.
inline constexpr std::uint32_t kRequestReload = 0x80000000u;  // always ask the server
inline constexpr std::uint32_t kRequestSecure = 0x00800000u;  // TLS, certificate checked

// Called while an operation waits for the network (connecting, an answer's headers, body
// bytes, the bytes passed over when positioning, the system's proxy lookup), at least every
// 100 ms, from the thread that called the operation: it may let the user interface run.
// Returning false abandons the wait, and the operation fails as it would on a broken
// connection. A wait shorter than one interval may end without a call.
using InternetWaitHook = std::function<bool()>;
inline constexpr int kWaitHookIntervalMs = 100;

struct InternetOptions {
  InternetLimits limits;
  // A CA bundle to trust instead of the system's store (tests); empty = the system's store.
  // Where only the system's store can decide (the Windows internet API), https is refused
  // when one is given, rather than checked otherwise than asked.
  std::string ca_file;
};

// The internet operations the transfer control needs: a session, a GET whose body is pulled
// in small reads, and a HEAD request whose raw headers and status are queried.
class InternetApi {
 public:
  virtual ~InternetApi() = default;

  // Who is called during waits; an empty hook waits without interruption.
  virtual void SetWaitHook(InternetWaitHook hook) = 0;

  // proxy is used with kProxy only ("server:port").
  virtual InternetHandle OpenSession(const std::string& agent, InternetAccess access,
                                     const std::string& proxy) = 0;
  // Sends a GET for url and returns once the answer's headers have arrived; redirects are
  // followed. An error status is no failure: its body is read like any other.
  virtual InternetHandle OpenUrl(InternetHandle session, const std::string& url) = 0;
  // Moves the read position by distance from the current one by asking the server again from
  // there (a Range request); a server that ignores ranges has the skipped bytes passed over
  // here. The new position, or kInvalidSetFilePointer (416, another error status, a range that
  // starts elsewhere or ends before the file does, a body shorter than the position, no
  // answer). Passing over is bounded too: a server too slow to deliver the skipped bytes at a
  // modest rate within the limits fails the positioning.
  virtual std::int32_t SetFilePointer(InternetHandle url, std::int32_t distance) = 0;
  // As SetFilePointer, but only while the remote file is still the one that validator (the
  // Last-Modified value seen earlier) describes: once it changed, the answer is the whole new
  // file and the position is 0. Without support for validators, as SetFilePointer.
  virtual std::int32_t SetFilePointerIfUnchanged(InternetHandle url, std::int32_t distance,
                                                 const std::string& validator) {
    static_cast<void>(validator);
    return SetFilePointer(url, distance);
  }
  // Fills buffer with size bytes, fewer only where the body ends or fails, or where no more
  // bytes came for kPartialReadWaitMs once some were in hand; success with *read == 0 ends the
  // body. Bytes that arrived before a failure are handed out first and the
  // failure shows on the next read. What is held between reads is bounded (about 1.5 MiB).
  virtual bool ReadFile(InternetHandle url, char* buffer, std::uint32_t size,
                        std::uint32_t* read) = 0;

  // user and password are sent only when user is not empty. port 0 is the scheme's default;
  // a host text "name:port" names its own port, which wins.
  virtual InternetHandle Connect(InternetHandle session, const std::string& host,
                                 std::uint16_t port, const std::string& user,
                                 const std::string& password) = 0;
  // flags: kRequestReload, kRequestSecure (https). version "HTTP/1.0" or "HTTP/1.1".
  virtual InternetHandle OpenRequest(InternetHandle connection, const std::string& verb,
                                     const std::string& path, const std::string& version,
                                     std::uint32_t flags) = 0;
  // Runs the request to its end; redirects are followed.
  virtual void SendRequest(InternetHandle request) = 0;
  // The final answer's status line and header lines, each ended by CR LF, an empty line, then
  // a NUL. *length holds the buffer's size on entry and the text's length on success; fails
  // when the block does not fit.
  virtual bool QueryRawHeaders(InternetHandle request, char* buffer, std::uint32_t* length) = 0;
  // The status code as decimal text followed by a NUL.
  virtual bool QueryStatusCode(InternetHandle request, char* buffer, std::uint32_t* length) = 0;

  virtual void CloseHandle(InternetHandle handle) = 0;
};

// The real internet operations of this machine.
std::unique_ptr<InternetApi> CreateInternetApi(const InternetOptions& options = {});

}  // namespace rariduze
