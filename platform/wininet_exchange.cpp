#include "platform/wininet_exchange.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace rariduze {
namespace {

// The hook runs at half the promised interval, leaving room for its own time and the scheduler.
constexpr std::chrono::milliseconds kHookSlice{kWaitHookIntervalMs / 2};
// Body bytes read ahead of the caller, and the largest single read from the API: together
// with the API's own buffers they bound the memory of a transfer.
constexpr std::size_t kBodyRoom = 1024 * 1024;
constexpr DWORD kPieceSize = 64 * 1024;

DWORD Milliseconds(long seconds) { return static_cast<DWORD>(seconds * 1000); }

// Closes an API handle when the scope that opened it is left.
class ApiHandle {
 public:
  explicit ApiHandle(HINTERNET handle = nullptr) : handle_(handle) {}
  ~ApiHandle() {
    if (handle_ != nullptr) ::InternetCloseHandle(handle_);
  }
  ApiHandle(const ApiHandle&) = delete;
  ApiHandle& operator=(const ApiHandle&) = delete;
  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

}  // namespace

std::shared_ptr<WinInetExchange> WinInetExchange::Start(std::shared_ptr<WinInetSession> session,
                                                        WinInetPlan plan) {
  std::shared_ptr<WinInetExchange> exchange(
      new WinInetExchange(std::move(session), std::move(plan)));
  try {
    std::thread([exchange] { exchange->Run(); }).detach();
  } catch (const std::system_error&) {
    return nullptr;
  }
  return exchange;
}

WinInetExchange::WinInetExchange(std::shared_ptr<WinInetSession> session, WinInetPlan plan)
    : session_(std::move(session)),
      plan_(std::move(plan)),
      stall_(std::chrono::seconds(plan_.limits.stall_seconds)) {}

void WinInetExchange::Abandon() {
  std::lock_guard lock(mutex_);
  abandoned_ = true;
  if (!Finished()) stage_ = Stage::kFailed;
  changed_.notify_all();
}

bool WinInetExchange::WaitForAnswer(const InternetWaitHook& hook, Clock::time_point give_up_at) {
  WaitRules rules;
  rules.deadline = give_up_at;
  rules.hook = &hook;
  const WaitEnd end = Wait(rules, [this] { return answered_ || Finished(); });
  std::lock_guard lock(mutex_);
  return end == WaitEnd::kReady && answered_;
}

WinInetExchange::WaitRules WinInetExchange::BodyRules(const InternetWaitHook& hook,
                                                      Clock::time_point deadline) {
  WaitRules rules;
  rules.deadline = deadline;
  rules.stall_clock = true;
  rules.hook = &hook;
  return rules;
}

void WinInetExchange::FailOnStallOrStop(WaitEnd end) {
  if (end == WaitEnd::kStalled || end == WaitEnd::kStopped) Abandon();
}

bool WinInetExchange::WaitForBody(const InternetWaitHook& hook, Clock::time_point give_up_at) {
  const WaitEnd end =
      Wait(BodyRules(hook, give_up_at), [this] { return body_.size() > 0 || Finished(); });
  FailOnStallOrStop(end);
  return end != WaitEnd::kDeadline;
}

bool WinInetExchange::PassOver(std::int64_t bytes, const InternetWaitHook& hook,
                               Clock::time_point give_up_at) {
  {
    std::lock_guard lock(mutex_);
    const std::size_t dropped = body_.Drop(static_cast<std::size_t>(bytes));
    skip_ = bytes - static_cast<std::int64_t>(dropped);
    // The worker may be waiting for room.
    changed_.notify_all();
  }
  const WaitEnd end =
      Wait(BodyRules(hook, give_up_at), [this] { return skip_ == 0 || Finished(); });
  std::lock_guard lock(mutex_);
  return end == WaitEnd::kReady && skip_ == 0;
}

void WinInetExchange::WaitForEnd(const InternetWaitHook& hook) {
  FailOnStallOrStop(Wait(BodyRules(hook), [this] { return Finished(); }));
}

bool WinInetExchange::Drained(bool* failed) const {
  std::lock_guard lock(mutex_);
  *failed = stage_ == Stage::kFailed;
  return Finished() && body_.size() == 0;
}

std::size_t WinInetExchange::TakeBody(char* buffer, std::size_t size) {
  std::lock_guard lock(mutex_);
  const std::size_t count = body_.Take(buffer, size);
  if (count == 0) return 0;
  // The worker may be waiting for room.
  changed_.notify_all();
  return count;
}

// On the caller's thread: waits until ready() holds (checked under the lock) or the rules end
// the wait, calling the hook while it lasts.
template <typename Ready>
WinInetExchange::WaitEnd WinInetExchange::Wait(const WaitRules& rules, Ready ready) {
  std::unique_lock lock(mutex_);
  const bool hooked = rules.hook != nullptr && *rules.hook;
  Clock::time_point quiet_since = Clock::now();
  Clock::time_point last_hook = quiet_since;
  std::uint64_t seen = arrivals_;
  for (;;) {
    if (ready()) return WaitEnd::kReady;
    const Clock::time_point now = Clock::now();
    if (arrivals_ != seen) {
      seen = arrivals_;
      quiet_since = now;
    }
    if (now >= rules.deadline) return WaitEnd::kDeadline;
    if (rules.stall_clock && now - quiet_since >= stall_) return WaitEnd::kStalled;
    if (hooked && now - last_hook >= kHookSlice) {
      // The hook may run the user interface, which may call back into these operations.
      lock.unlock();
      const bool go_on = (*rules.hook)();
      lock.lock();
      last_hook = Clock::now();
      if (!go_on) return WaitEnd::kStopped;
      continue;
    }
    Clock::time_point wake = rules.deadline;
    if (rules.stall_clock) wake = std::min(wake, quiet_since + stall_);
    if (hooked) wake = std::min(wake, last_hook + kHookSlice);
    if (wake == Clock::time_point::max()) {
      changed_.wait(lock);
    } else {
      changed_.wait_until(lock, wake);
    }
  }
}

// The worker thread from here on.
void WinInetExchange::Run() {
  Target target = plan_.target;
  for (int redirects = 0;; ++redirects) {
    if (target.secure && !plan_.secure_allowed) return Fail();
    ApiHandle connection(::InternetConnectW(session_->internet, target.host.c_str(), target.port,
                                            nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return Fail();
    DWORD connect_ms = Milliseconds(plan_.limits.connect_seconds);
    DWORD stall_ms = Milliseconds(plan_.limits.stall_seconds);
    ::InternetSetOptionW(connection.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connect_ms,
                         sizeof connect_ms);
    ::InternetSetOptionW(connection.get(), INTERNET_OPTION_SEND_TIMEOUT, &stall_ms,
                         sizeof stall_ms);
    ::InternetSetOptionW(connection.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &stall_ms,
                         sizeof stall_ms);
    // Always from the server, never into the platform's cache; redirects, credentials and
    // cookies are this side's business, and nothing ever asks the user.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                  INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_AUTH |
                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    if (target.secure) flags |= INTERNET_FLAG_SECURE;
    ApiHandle request(::HttpOpenRequestW(connection.get(), plan_.verb.c_str(), target.path.c_str(),
                                         plan_.version.c_str(), nullptr, nullptr, flags, 0));
    if (!request) return Fail();

    std::wstring headers = plan_.headers;
    if (target.SameOrigin(plan_.target)) headers += plan_.authorization;
    // One request per connection: a server that ignores this and holds a finished connection
    // open would otherwise be handed the next request on it. The API keeps finished
    // connections for reuse all the same, so they are let go before each request.
    headers += L"Connection: close\r\n";
    ::InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
    if (Abandoned()) return;
    const bool sent = ::HttpSendRequestW(request.get(), headers.c_str(),
                                         static_cast<DWORD>(headers.size()), nullptr, 0);
    if (Abandoned()) return;
    const bool head = _wcsicmp(plan_.verb.c_str(), L"HEAD") == 0;
    std::optional<WinInetAnswer> answer;
    if (sent) answer = ReadAnswer(request.get(), !head);
    if (!answer) return Fail();

    if (IsRedirect(answer->head.status) && !answer->location.empty()) {
      if (redirects == kMaxRedirects) return Fail();
      std::optional<Target> next = Resolve(target, answer->location);
      if (!next) return Fail();
      target = std::move(*next);
      continue;
    }

    const bool has_body = !head && answer->head.status != 204 && answer->head.status != 304;
    if (!has_body) answer->length = 0;
    if (!Publish(std::move(*answer), has_body) || !has_body) return;
    return ReadBody(request.get());
  }
}

void WinInetExchange::ReadBody(HINTERNET request) {
  std::vector<char> piece(kPieceSize);
  for (;;) {
    std::size_t room = 0;
    std::uint64_t left = UINT64_MAX;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return abandoned_ || Room() > 0; });
      if (abandoned_) return;
      room = Room();
      // The announced length is believed: what comes after it is not part of the body.
      if (answer_.length) left = *answer_.length - received_;
    }
    if (left == 0) return EndOfBody();
    // Asks only for what is there, so the read returns at once: the API's read otherwise
    // waits until the whole buffer is filled.
    DWORD available = 0;
    if (!::InternetQueryDataAvailable(request, &available, 0, 0)) return Fail();
    if (available == 0) return EndOfBody();
    const auto wanted =
        static_cast<DWORD>(std::min<std::uint64_t>({available, room, kPieceSize, left}));
    DWORD got = 0;
    if (!::InternetReadFile(request, piece.data(), wanted, &got)) return Fail();
    if (got == 0) return EndOfBody();
    if (!Take(piece.data(), got)) return;
  }
}

std::size_t WinInetExchange::Room() const {
  if (!plan_.keep_body || skip_ > 0) return kPieceSize;
  return kBodyRoom - std::min(kBodyRoom, body_.size());
}

bool WinInetExchange::Abandoned() const {
  std::lock_guard lock(mutex_);
  return abandoned_;
}

bool WinInetExchange::Publish(WinInetAnswer answer, bool has_body) {
  std::lock_guard lock(mutex_);
  if (abandoned_) return false;
  answer_ = std::move(answer);
  answered_ = true;
  stage_ = has_body ? Stage::kBody : Stage::kEnded;
  changed_.notify_all();
  return true;
}

bool WinInetExchange::Take(const char* data, std::size_t size) {
  std::lock_guard lock(mutex_);
  if (abandoned_) return false;
  received_ += size;
  ++arrivals_;
  const auto skipped = static_cast<std::size_t>(std::min<std::int64_t>(skip_, size));
  skip_ -= static_cast<std::int64_t>(skipped);
  const std::size_t keep = plan_.keep_body ? size - skipped : 0;
  if (keep > 0) body_.Append(data + skipped, keep);
  changed_.notify_all();
  return true;
}

// The API reports a body cut short by a closed connection as its end: the announced length
// tells the two apart.
void WinInetExchange::EndOfBody() {
  std::lock_guard lock(mutex_);
  if (Finished()) return;
  stage_ = answer_.length && received_ < *answer_.length ? Stage::kFailed : Stage::kEnded;
  changed_.notify_all();
}

void WinInetExchange::Fail() {
  std::lock_guard lock(mutex_);
  if (!Finished()) stage_ = Stage::kFailed;
  changed_.notify_all();
}

}  // namespace rariduze
