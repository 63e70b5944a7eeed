#pragma once

// The seam between the half of the internet operations that every backend shares (handles,
// queries, positioning, read gathering: internet_handles.cpp) and one backend's exchange with
// its library.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/internet.h"

namespace rariduze {

// The head of the final answer, once it has come; it does not change afterwards.
struct AnswerHead {
  int status = 0;
  std::string block;  // status line and header lines, each ended by CR LF, then an empty line
  bool block_too_long = false;  // longer than kMaxHeaderBlock: block is left empty
  std::string content_range;    // the Content-Range value, blanks around it trimmed
};

// One request as the shared half asks a backend for it.
struct RequestPlan {
  std::string verb = "GET";
  bool http10 = false;
  std::string url;                       // an http or https address; anything else is refused
  std::int64_t from = 0;                 // when > 0: only the bytes from here on (a Range)
  std::optional<std::string> validator;  // with from: an If-Range of this value
  bool reload = false;                   // no cache on the way may answer
  std::string user;                      // sent when not empty, to the address's origin only
  std::string password;
  bool keep_body = true;  // false: the body is read and dropped
};

// One request in flight, and its answer. Its waits call the hook they are given at least
// every kWaitHookIntervalMs; a hook that says stop, or the stall limit while bytes are awaited,
// ends the body as failed.
class InternetExchange {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~InternetExchange() = default;

  virtual const AnswerHead& answer() const = 0;
  // Copies up to size body bytes that have arrived; never waits.
  virtual std::size_t TakeBody(char* buffer, std::size_t size) = 0;
  // True once the body has ended, well or not (*failed), and every byte of it was taken.
  virtual bool Drained(bool* failed) const = 0;
  // Waits until body bytes have arrived or the body has ended; false only when give_up_at came
  // first.
  virtual bool WaitForBody(const InternetWaitHook& hook, Clock::time_point give_up_at) = 0;
  // Drops the next bytes of the body, those already arrived first; false when the body ended
  // before them or give_up_at came first.
  virtual bool PassOver(std::int64_t bytes, const InternetWaitHook& hook,
                        Clock::time_point give_up_at) = 0;
  // Runs the request to its end (its body is not kept).
  virtual void WaitForEnd(const InternetWaitHook& hook) = 0;
  // No longer wanted: it lets go of its connection and counts as failed from now on.
  virtual void Abandon() = 0;
};

// What a backend keeps for one session.
class InternetSession {
 public:
  virtual ~InternetSession() = default;
};

class InternetBackend {
 public:
  virtual ~InternetBackend() = default;
  // Nothing when the session cannot be had (a proxy text the backend cannot use included).
  virtual std::shared_ptr<InternetSession> OpenSession(const std::string& agent,
                                                       InternetAccess access,
                                                       const std::string& proxy) = 0;
  // Sends the request and waits for the final answer's head, following redirects, for at most
  // AnswerLimit(); nothing when none came, the hook said stop, or the plan was refused.
  virtual std::shared_ptr<InternetExchange> Ask(const std::shared_ptr<InternetSession>& session,
                                                const RequestPlan& plan,
                                                const InternetWaitHook& hook) = 0;
};

// The internet operations over backend, within limits (already clamped).
std::unique_ptr<InternetApi> InternetApiOver(std::unique_ptr<InternetBackend> backend,
                                             const InternetLimits& limits);

}  // namespace rariduze
