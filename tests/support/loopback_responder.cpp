#include "tests/support/loopback_responder.h"

#include <stdexcept>

#include "tests/support/loopback_socket.h"

namespace rariduze::testing {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxRequestHead = 64 * 1024;
// Bounds every wait of the responder, whatever the script says.
constexpr milliseconds kLongestHold = std::chrono::seconds(60);
constexpr milliseconds kRequestWait = std::chrono::seconds(10);

}  // namespace

Reply& Reply::Send(std::string bytes) {
  steps_.push_back({Kind::kSend, std::move(bytes), milliseconds(0)});
  return *this;
}

Reply& Reply::Pause(milliseconds time) {
  steps_.push_back({Kind::kPause, {}, time});
  return *this;
}

Reply& Reply::Trickle(const std::string& bytes, std::size_t piece_size, milliseconds interval) {
  for (std::size_t at = 0; at < bytes.size(); at += piece_size) {
    if (at > 0) Pause(interval);
    Send(bytes.substr(at, piece_size));
  }
  return *this;
}

Reply& Reply::Hold() {
  steps_.push_back({Kind::kHold, {}, kLongestHold});
  return *this;
}

Reply Reply::Answer(const std::string& status_line, const std::string& body,
                    const std::string& headers) {
  Reply reply;
  reply.Send(status_line + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
             "\r\nConnection: close\r\n\r\n" + body);
  return reply;
}

LoopbackResponder::LoopbackResponder() {
  listener_ = ListenOnLoopback(0, &port_);
  if (listener_ == kNoSocket) throw std::runtime_error("the responder cannot listen on 127.0.0.1");
  thread_ = std::thread([this] { Serve(); });
}

LoopbackResponder::~LoopbackResponder() {
  stop_ = true;
  // A connection of its own wakes a thread that waits for the next client.
  CloseSocket(ConnectToLoopback(port_));
  thread_.join();
  CloseSocket(listener_);
}

std::string LoopbackResponder::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackResponder::Enqueue(Reply reply) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(reply));
}

void LoopbackResponder::SetDefault(Reply reply) {
  std::lock_guard lock(mutex_);
  default_ = std::move(reply);
}

std::vector<std::string> LoopbackResponder::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void LoopbackResponder::Serve() {
  while (!Stopping()) {
    if (!WaitReadable(listener_, 200)) continue;
    Socket connection = AcceptConnection(listener_);
    if (connection == kNoSocket) continue;
    if (!Stopping()) Answer(connection);
    ShutDown(connection);
    CloseSocket(connection);
  }
}

void LoopbackResponder::Answer(Socket connection) {
  // Waits until the connection has input (or the client left), the time is up or the test
  // stops; true when there is something to read.
  auto wait_readable = [&](milliseconds time) {
    Clock::time_point deadline = Clock::now() + time;
    while (!Stopping()) {
      auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      // Short slices, so that a test that ends is not kept waiting.
      if (WaitReadable(connection, static_cast<int>(std::min<long>(left, 50)))) return true;
    }
    return false;
  };

  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestHead) {
    if (!wait_readable(kRequestWait)) break;
    long got = ReceiveSome(connection, buffer, sizeof buffer);
    if (got <= 0) break;
    request.append(buffer, static_cast<std::size_t>(got));
  }
  Reply reply;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request.substr(0, request.find("\r\n\r\n")));
    if (queue_.empty()) {
      reply = default_;
    } else {
      reply = std::move(queue_.front());
      queue_.pop_front();
    }
  }

  for (const Reply::Step& step : reply.steps_) {
    if (Stopping()) return;
    switch (step.kind) {
      case Reply::Kind::kSend: {
        std::size_t sent = 0;
        while (sent < step.bytes.size()) {
          long n = SendSome(connection, step.bytes.data() + sent, step.bytes.size() - sent);
          if (n <= 0) return;  // the client left
          sent += static_cast<std::size_t>(n);
        }
        break;
      }
      case Reply::Kind::kPause: {
        Clock::time_point until = Clock::now() + step.time;
        while (!Stopping() && Clock::now() < until) {
          std::this_thread::sleep_for(
              std::min<Clock::duration>(milliseconds(20), until - Clock::now()));
        }
        break;
      }
      case Reply::Kind::kHold: {
        // Silent until the client goes away: anything it sends is swallowed.
        Clock::time_point until = Clock::now() + step.time;
        while (!Stopping() && Clock::now() < until) {
          auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now());
          if (!wait_readable(left)) continue;
          if (ReceiveSome(connection, buffer, sizeof buffer) <= 0) return;
        }
        break;
      }
    }
  }
}

}  // namespace rariduze::testing
