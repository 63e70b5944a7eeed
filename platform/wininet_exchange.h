#pragma once

// One request of the WinInet backend, and the redirects it follows, carried out by a worker
// thread of its own, which makes each blocking call of the API (connect, send, the answer's
// headers, the body's reads) and opens and closes every API handle the request needs. The
// caller's thread only looks at what the worker has published, waits in short slices that
// call the wait hook, and says when the request is no longer wanted. It never closes an API
// handle the worker may be using: a handle closed from another thread just as a call on it
// starts could reach, as a reused value, somebody else's request. An abandoned worker ends at
// its next step, at the latest when the platform's connect or receive limit ends its call; it
// owns everything it touches, so nothing it uses is freed under it.

#include "platform/windows_api.h"
// After the Win32 headers, which it needs.
#include <wininet.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/internet_exchange.h"
#include "platform/read_ahead_buffer.h"
#include "platform/wininet_answer.h"
#include "platform/wininet_url.h"

namespace rariduze {

// One session of the API; it stays open while any request made in it still runs.
struct WinInetSession : InternetSession {
  HINTERNET internet = nullptr;
  ~WinInetSession() override {
    if (internet != nullptr) ::InternetCloseHandle(internet);
  }
};

// What a request asks for, in the API's terms.
struct WinInetPlan {
  std::wstring verb;
  std::wstring version;
  Target target;
  std::wstring headers;        // more request lines, each ended by CR LF
  std::wstring authorization;  // a request line, sent to the first target's origin only
  bool keep_body = true;       // false: the body is read and dropped
  bool secure_allowed = true;
  InternetLimits limits;
};

class WinInetExchange : public InternetExchange {
 public:
  // Starts the worker; nothing when no thread can be had.
  static std::shared_ptr<WinInetExchange> Start(std::shared_ptr<WinInetSession> session,
                                                WinInetPlan plan);

  // Waits for the final answer's head until give_up_at; false when none came.
  bool WaitForAnswer(const InternetWaitHook& hook, Clock::time_point give_up_at);

  // Meaningful once answered; it does not change afterwards.
  const AnswerHead& answer() const override { return answer_.head; }
  std::size_t TakeBody(char* buffer, std::size_t size) override;
  bool Drained(bool* failed) const override;
  bool WaitForBody(const InternetWaitHook& hook, Clock::time_point give_up_at) override;
  bool PassOver(std::int64_t bytes, const InternetWaitHook& hook,
                Clock::time_point give_up_at) override;
  void WaitForEnd(const InternetWaitHook& hook) override;
  void Abandon() override;

 private:
  enum class Stage { kAsking, kBody, kEnded, kFailed };
  // How a wait of the caller ended.
  enum class WaitEnd { kReady, kDeadline, kStalled, kStopped };
  struct WaitRules {
    Clock::time_point deadline = Clock::time_point::max();
    bool stall_clock = false;  // no byte arriving for the stall limit while waiting ends it
    const InternetWaitHook* hook = nullptr;
  };

  WinInetExchange(std::shared_ptr<WinInetSession> session, WinInetPlan plan);

  bool Finished() const { return stage_ == Stage::kEnded || stage_ == Stage::kFailed; }
  // The rules of a wait for body bytes: the stall limit, the hook, a deadline.
  static WaitRules BodyRules(const InternetWaitHook& hook,
                             Clock::time_point deadline = Clock::time_point::max());
  // A wait for body bytes that the stall limit or the hook ended fails the body.
  void FailOnStallOrStop(WaitEnd end);
  template <typename Ready>
  WaitEnd Wait(const WaitRules& rules, Ready ready);

  // The worker thread's side.
  void Run();
  void ReadBody(HINTERNET request);
  std::size_t Room() const;
  bool Abandoned() const;
  bool Publish(WinInetAnswer answer, bool has_body);
  bool Take(const char* data, std::size_t size);
  void EndOfBody();
  void Fail();

  const std::shared_ptr<WinInetSession> session_;
  const WinInetPlan plan_;
  const Clock::duration stall_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool abandoned_ = false;
  Stage stage_ = Stage::kAsking;
  bool answered_ = false;
  WinInetAnswer answer_;
  std::int64_t skip_ = 0;
  std::uint64_t received_ = 0;
  std::uint64_t arrivals_ = 0;  // pieces received: the stall clock starts again at each
  ReadAheadBuffer body_;
};

}  // namespace rariduze
