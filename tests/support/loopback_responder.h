#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/loopback_socket.h"

namespace rariduze::testing {

// What the responder does on one connection after it has read the request: exact bytes,
// pauses, a trickle, or silence. The connection is closed when the script ends.
class Reply {
 public:
  Reply& Send(std::string bytes);
  Reply& Pause(std::chrono::milliseconds time);
  // bytes in pieces of piece_size, one every interval.
  Reply& Trickle(const std::string& bytes, std::size_t piece_size,
                 std::chrono::milliseconds interval);
  // Keeps the connection open and says nothing until the client leaves or the responder stops.
  Reply& Hold();

  // A whole answer: the status line, the extra header lines (each ended by CR LF), a
  // Content-Length for the body, "Connection: close", then the body.
  static Reply Answer(const std::string& status_line, const std::string& body,
                      const std::string& headers = {});

 private:
  friend class LoopbackResponder;
  enum class Kind { kSend, kPause, kHold };
  struct Step {
    Kind kind;
    std::string bytes;
    std::chrono::milliseconds time{0};
  };
  std::vector<Step> steps_;
};

// A scripted HTTP server on a free 127.0.0.1 port, run by a thread of the test: each
// connection is answered by the next queued Reply (or the default one, which closes at once),
// byte for byte, so a test can send what no well-behaved server would. It records every
// request it read. Connections are served one after another.
class LoopbackResponder {
 public:
  LoopbackResponder();
  ~LoopbackResponder();
  LoopbackResponder(const LoopbackResponder&) = delete;
  LoopbackResponder& operator=(const LoopbackResponder&) = delete;

  std::uint16_t port() const { return port_; }
  // http://127.0.0.1:port followed by path.
  std::string Url(const std::string& path) const;

  void Enqueue(Reply reply);
  void SetDefault(Reply reply);
  // The request heads received so far (request line and header lines), oldest first.
  std::vector<std::string> Requests() const;

 private:
  void Serve();
  void Answer(Socket connection);
  bool Stopping() const { return stop_.load(); }

  Socket listener_ = kNoSocket;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::deque<Reply> queue_;
  Reply default_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace rariduze::testing
