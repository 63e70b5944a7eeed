// The internet operations over the platform's internet API (WinInet), wide-character calls only.
//
// Every request runs on a worker thread of its own, which makes each blocking call of the API
// (connect, send, the answer's headers, the body's reads) and opens and closes every API handle
// the request needs. The caller's thread only looks at what the worker has published, waits in
// short slices that call the wait hook, and says when the request is no longer wanted. It never
// closes an API handle the worker may be using: a handle closed from another thread just as a
// call on it starts could reach, as a reused value, somebody else's request. An abandoned worker
// ends at its next step, at the latest when the platform's connect or receive limit ends its
// call; it owns everything it touches, so nothing it uses is freed under it.
//
// Handles given to the caller are numbers looked up in a table, so a stale or foreign value is
// refused instead of followed.

#include "platform/windows_api.h"
// After the Win32 headers, which it needs.
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/http_range.h"
#include "platform/internet.h"
#include "platform/wide_text_windows.h"

namespace rariduze {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kMaxRedirects = 10;
// The limits a caller may ask for are cut to a day, so no clock or API option overflows.
constexpr long kLongestLimitSeconds = 24 * 60 * 60;
// Passing over the start of a body whose server ignored the range is given the answer's time
// plus this rate's: a server that trickles cannot keep the positioning going for ever.
constexpr std::int64_t kSlowestSkipBytesPerSecond = 64 * 1024;
// How long a read that has some bytes waits for the rest of its buffer.
constexpr milliseconds kPartialReadWait{250};
// The hook runs at half the promised interval, leaving room for its own time and the scheduler.
constexpr milliseconds kHookSlice{kWaitHookIntervalMs / 2};
// Body bytes read ahead of the caller, and the largest single read from the API: together
// with the API's own buffers they bound the memory of a transfer.
constexpr std::size_t kBodyRoom = 1024 * 1024;
constexpr DWORD kPieceSize = 64 * 1024;
// A header block is kept up to this many characters; a longer one is only marked as too long.
constexpr DWORD kMaxHeaderBlock = 64 * 1024;

template <typename Char>
bool StartsWithNoCase(std::basic_string_view<Char> text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  auto lower = [](unsigned c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (lower(static_cast<std::make_unsigned_t<Char>>(text[i])) !=
        lower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

template <typename Char>
std::basic_string_view<Char> TrimBlanks(std::basic_string_view<Char> text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A host text must not smuggle credentials, a path or a query into the address.
template <typename Char>
bool HostIsPlain(std::basic_string_view<Char> host) {
  if (host.empty()) return false;
  return std::none_of(host.begin(), host.end(), [](Char c) {
    auto u = static_cast<std::make_unsigned_t<Char>>(c);
    return u <= ' ' || u == 0x7f || c == '@' || c == '/' || c == '?' || c == '#' || c == '\\';
  });
}

// "name:port" split into its parts when the text ends in ":digits" outside IPv6 brackets; the
// port is 0 when the text names none, nothing when it names one that does not exist.
std::optional<std::pair<std::string, INTERNET_PORT>> SplitHostPort(const std::string& text) {
  std::size_t colon = text.rfind(':');
  std::size_t bracket = text.rfind(']');
  if (colon == std::string::npos || (bracket != std::string::npos && bracket > colon)) {
    return std::make_pair(text, INTERNET_PORT{0});
  }
  std::string_view digits = std::string_view(text).substr(colon + 1);
  if (digits.empty() || digits.size() > 5 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  unsigned long port = std::stoul(std::string(digits));
  if (port == 0 || port > 65535) return std::nullopt;
  return std::make_pair(text.substr(0, colon), static_cast<INTERNET_PORT>(port));
}

// Where a request goes.
struct Target {
  bool secure = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;  // with the query

  std::wstring Url() const {
    std::wstring url = secure ? L"https://" : L"http://";
    url += host.find(L':') != std::wstring::npos ? L"[" + host + L"]" : host;
    url += L":" + std::to_wstring(port) + path;
    return url;
  }
  bool SameOrigin(const Target& other) const {
    return secure == other.secure && port == other.port &&
           _wcsicmp(host.c_str(), other.host.c_str()) == 0;
  }
};

// An http or https address without credentials in it; nothing for anything else. Blanks and
// control characters would break the request line, so an address with any is none.
std::optional<Target> CrackUrl(const std::wstring& url) {
  if (std::any_of(url.begin(), url.end(), [](wchar_t c) { return c <= L' ' || c == 0x7f; })) {
    return std::nullopt;
  }
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  // Non-zero lengths ask for pointers into url.
  parts.dwSchemeLength = 1;
  parts.dwHostNameLength = 1;
  parts.dwUserNameLength = 1;
  parts.dwPasswordLength = 1;
  parts.dwUrlPathLength = 1;
  parts.dwExtraInfoLength = 1;
  if (url.empty() || !::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
    return std::nullopt;
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    return std::nullopt;
  }
  // Credentials are given to Connect, never carried inside an address.
  if (parts.dwUserNameLength > 0 || parts.dwPasswordLength > 0) return std::nullopt;
  Target target;
  target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  if (!HostIsPlain(std::wstring_view(target.host))) return std::nullopt;
  target.port = parts.nPort != 0
                    ? parts.nPort
                    : (target.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
  if (parts.lpszUrlPath != nullptr) target.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo != nullptr) {
    target.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  }
  if (target.path.empty() || target.path.front() != L'/') target.path.insert(0, L"/");
  return target;
}

// A Location resolved against the address that answered with it.
std::optional<Target> Resolve(const Target& base, const std::wstring& location) {
  const std::wstring from = base.Url();
  DWORD length = 0;
  ::InternetCombineUrlW(from.c_str(), location.c_str(), nullptr, &length, 0);
  if (length == 0 || length > 64 * 1024) return std::nullopt;
  std::wstring combined(length + 1, L'\0');
  if (!::InternetCombineUrlW(from.c_str(), location.c_str(), combined.data(), &length, 0)) {
    return std::nullopt;
  }
  combined.resize(length);
  return CrackUrl(combined);
}

// Header text of the server as its bytes: the API made its characters from them in the
// system's code page, and the header block handed out is those bytes again.
std::string ServerBytes(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  int bytes = ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

// The other way, for header bytes that go back to the server (a validator it sent): the API
// sends request headers in the same code page, so the server gets its own bytes again.
std::wstring HeaderText(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX));
  int count = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(count, 0)), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), count);
  return wide;
}

std::wstring Base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::wstring text;
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    unsigned value = static_cast<unsigned char>(bytes[at]) << 16;
    if (at + 1 < bytes.size()) value |= static_cast<unsigned char>(bytes[at + 1]) << 8;
    if (at + 2 < bytes.size()) value |= static_cast<unsigned char>(bytes[at + 2]);
    text += static_cast<wchar_t>(kDigits[(value >> 18) & 63]);
    text += static_cast<wchar_t>(kDigits[(value >> 12) & 63]);
    text += at + 1 < bytes.size() ? static_cast<wchar_t>(kDigits[(value >> 6) & 63]) : L'=';
    text += at + 2 < bytes.size() ? static_cast<wchar_t>(kDigits[value & 63]) : L'=';
  }
  return text;
}

DWORD Milliseconds(long seconds) {
  return static_cast<DWORD>(std::clamp<long>(seconds, 1, 2'000'000) * 1000);
}

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

// One session of the API; it stays open while any request made in it still runs.
struct SessionCore {
  HINTERNET internet = nullptr;
  ~SessionCore() {
    if (internet != nullptr) ::InternetCloseHandle(internet);
  }
};

// What a request asks for.
struct Plan {
  std::wstring verb;
  std::wstring version;
  Target target;
  std::wstring headers;        // more request lines, each ended by CR LF
  std::wstring authorization;  // a request line, sent to the first target's origin only
  bool keep_body = true;       // false: the body is read and dropped
  std::int64_t skip = 0;       // bytes a whole (200) body passes over before it is kept
  bool secure_allowed = true;
  InternetLimits limits;
};

// The final answer's head.
struct Answer {
  int status = 0;
  std::string block;  // status line and header lines, each ended by CR LF, then an empty line
  bool block_too_long = false;
  std::string content_range;
  std::optional<std::uint64_t> length;  // what the body announces, when it announces anything
};

// Reads the head of the answer the request got; false when it is no usable final answer.
// body_follows: false for an answer to HEAD, which has no body for a length to describe.
bool ReadAnswer(HINTERNET request, bool body_follows, Answer* answer, std::wstring* location) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
    return false;
  }
  answer->status = static_cast<int>(status);

  auto text = [request](DWORD level) -> std::optional<std::wstring> {
    DWORD bytes = 0;
    ::HttpQueryInfoW(request, level, nullptr, &bytes, nullptr);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return std::nullopt;
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (!::HttpQueryInfoW(request, level, value.data(), &bytes, nullptr)) return std::nullopt;
    value.resize(bytes / sizeof(wchar_t));
    return value;
  };

  std::optional<std::wstring> block = text(HTTP_QUERY_RAW_HEADERS_CRLF);
  // The API answers a connection that closed without a word with an empty head: no answer.
  if (!block || !block->starts_with(L"HTTP/")) return false;
  // Interim answers are never final; one that comes last means the real one never came.
  if (status < 200) return false;
  if (block->size() > kMaxHeaderBlock) {
    answer->block_too_long = true;
  } else {
    answer->block = ServerBytes(*block);
  }

  if (std::optional<std::wstring> length = text(HTTP_QUERY_CONTENT_LENGTH)) {
    // A length that does not even begin with a digit makes a body unreadable; without a body
    // it harms nothing, and the headers were read all the same.
    std::wstring_view digits = TrimBlanks(std::wstring_view(*length));
    if (!digits.empty() && digits.front() >= L'0' && digits.front() <= L'9') {
      std::uint64_t value = 0;
      for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') break;
        value = value > (UINT64_MAX - 9) / 10 ? UINT64_MAX : value * 10 + (c - L'0');
      }
      answer->length = value;
    } else if (body_follows) {
      return false;
    }
  }
  if (std::optional<std::wstring> coding = text(HTTP_QUERY_TRANSFER_ENCODING)) {
    // A chunked body says its own end; the API has dropped any length given beside it.
    if (StartsWithNoCase(TrimBlanks(std::wstring_view(*coding)), "chunked")) answer->length.reset();
  }
  if (std::optional<std::wstring> range = text(HTTP_QUERY_CONTENT_RANGE)) {
    answer->content_range = ServerBytes(*range);
  }
  if (std::optional<std::wstring> where = text(HTTP_QUERY_LOCATION)) {
    *location = std::wstring(TrimBlanks(std::wstring_view(*where)));
  }
  return true;
}

bool IsRedirect(int status) {
  return status == 300 || status == 301 || status == 302 || status == 303 || status == 307 ||
         status == 308;
}

// How a wait of the caller ended.
enum class WaitEnd { kReady, kDeadline, kStalled, kStopped };

struct WaitRules {
  std::optional<Clock::time_point> deadline;
  bool stall_clock = false;  // no byte arriving for the stall limit while waiting ends the wait
  const InternetWaitHook* hook = nullptr;
};

// One request, and the redirects it follows, carried out by its worker thread (see the top of
// the file). The caller's side is the public part; everything is guarded by the mutex.
class Exchange {
 public:
  // Starts the worker; nothing when no thread can be had.
  static std::shared_ptr<Exchange> Start(std::shared_ptr<SessionCore> session, Plan plan) {
    std::shared_ptr<Exchange> exchange(new Exchange(std::move(session), std::move(plan)));
    try {
      std::thread([exchange] { exchange->Run(); }).detach();
    } catch (const std::system_error&) {
      return nullptr;
    }
    return exchange;
  }

  // The answer is no longer wanted: the worker stops at its next step and lets go of the
  // connection; the request counts as failed from now on.
  void Abandon() {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
    if (!Finished()) stage_ = Stage::kFailed;
    changed_.notify_all();
  }

  WaitEnd WaitForAnswer(const WaitRules& rules) {
    return Wait(rules, [this] { return answered_ || Finished(); });
  }
  WaitEnd WaitForBody(const WaitRules& rules) {
    return Wait(rules, [this] { return Waiting() > 0 || Finished(); });
  }
  WaitEnd WaitForSkip(const WaitRules& rules) {
    return Wait(rules, [this] { return skip_ == 0 || Finished(); });
  }
  WaitEnd WaitForEnd(const WaitRules& rules) {
    return Wait(rules, [this] { return Finished(); });
  }

  bool answered() const {
    std::lock_guard lock(mutex_);
    return answered_;
  }
  // Meaningful once answered; it does not change afterwards.
  const Answer& answer() const { return answer_; }
  std::int64_t skip_left() const {
    std::lock_guard lock(mutex_);
    return skip_;
  }
  // True once the body has ended, well or not, and every byte of it has been taken.
  bool drained(bool* failed) const {
    std::lock_guard lock(mutex_);
    *failed = stage_ == Stage::kFailed;
    return Finished() && Waiting() == 0;
  }

  // Copies up to size waiting body bytes.
  std::size_t TakeBody(char* buffer, std::size_t size) {
    std::lock_guard lock(mutex_);
    std::size_t count = std::min(size, Waiting());
    if (count == 0) return 0;
    std::memcpy(buffer, body_.data() + body_begin_, count);
    body_begin_ += count;
    if (body_begin_ == body_end_) body_begin_ = body_end_ = 0;
    // The worker may be waiting for room.
    changed_.notify_all();
    return count;
  }

 private:
  enum class Stage { kAsking, kBody, kEnded, kFailed };

  Exchange(std::shared_ptr<SessionCore> session, Plan plan)
      : session_(std::move(session)),
        plan_(std::move(plan)),
        stall_(std::chrono::seconds(std::max(1L, plan_.limits.stall_seconds))),
        skip_(plan_.skip) {}

  bool Finished() const { return stage_ == Stage::kEnded || stage_ == Stage::kFailed; }
  std::size_t Waiting() const { return body_end_ - body_begin_; }

  // On the caller's thread: waits until ready() holds (checked under the lock) or the rules
  // end the wait, calling the hook while it lasts.
  template <typename Ready>
  WaitEnd Wait(const WaitRules& rules, Ready ready) {
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
      if (rules.deadline && now >= *rules.deadline) return WaitEnd::kDeadline;
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
      std::optional<Clock::time_point> wake = rules.deadline;
      auto earliest = [&wake](Clock::time_point at) { wake = wake ? std::min(*wake, at) : at; };
      if (rules.stall_clock) earliest(quiet_since + stall_);
      if (hooked) earliest(last_hook + kHookSlice);
      if (wake) {
        changed_.wait_until(lock, *wake);
      } else {
        changed_.wait(lock);
      }
    }
  }

  // The worker thread from here on.
  void Run() {
    Target target = plan_.target;
    for (int redirects = 0;; ++redirects) {
      std::wstring location;
      Answer answer;
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
      // cookies are this file's business, and nothing ever asks the user.
      DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                    INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_AUTH |
                    INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
      if (target.secure) flags |= INTERNET_FLAG_SECURE;
      ApiHandle request(::HttpOpenRequestW(connection.get(), plan_.verb.c_str(),
                                           target.path.c_str(), plan_.version.c_str(), nullptr,
                                           nullptr, flags, 0));
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
      if (!sent || !ReadAnswer(request.get(), !head, &answer, &location)) return Fail();

      if (IsRedirect(answer.status) && !location.empty()) {
        if (redirects == kMaxRedirects) return Fail();
        std::optional<Target> next = Resolve(target, location);
        if (!next) return Fail();
        target = std::move(*next);
        continue;
      }

      const bool has_body = _wcsicmp(plan_.verb.c_str(), L"HEAD") != 0 && answer.status != 204 &&
                            answer.status != 304;
      if (!has_body) answer.length = 0;
      if (!Publish(std::move(answer), has_body) || !has_body) return;
      return ReadBody(request.get());
    }
  }

  void ReadBody(HINTERNET request) {
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
      DWORD wanted =
          static_cast<DWORD>(std::min<std::uint64_t>({available, room, kPieceSize, left}));
      DWORD got = 0;
      if (!::InternetReadFile(request, piece.data(), wanted, &got)) return Fail();
      if (got == 0) return EndOfBody();
      if (!Take(piece.data(), got)) return;
    }
  }

  std::size_t Room() const {
    if (!plan_.keep_body || skip_ > 0) return kPieceSize;
    return kBodyRoom - std::min(kBodyRoom, Waiting());
  }

  bool Abandoned() const {
    std::lock_guard lock(mutex_);
    return abandoned_;
  }

  bool Publish(Answer answer, bool has_body) {
    std::lock_guard lock(mutex_);
    if (abandoned_) return false;
    // Only a whole body has bytes to pass over; any other answer is judged by the caller.
    if (answer.status != 200) skip_ = 0;
    answer_ = std::move(answer);
    answered_ = true;
    stage_ = has_body ? Stage::kBody : Stage::kEnded;
    changed_.notify_all();
    return true;
  }

  bool Take(const char* data, std::size_t size) {
    std::lock_guard lock(mutex_);
    if (abandoned_) return false;
    received_ += size;
    ++arrivals_;
    std::size_t skipped = static_cast<std::size_t>(std::min<std::int64_t>(skip_, size));
    skip_ -= static_cast<std::int64_t>(skipped);
    std::size_t keep = plan_.keep_body ? size - skipped : 0;
    if (keep > 0) {
      if (body_.size() - body_end_ < keep && body_begin_ > 0) {
        std::memmove(body_.data(), body_.data() + body_begin_, Waiting());
        body_end_ -= body_begin_;
        body_begin_ = 0;
      }
      if (body_.size() - body_end_ < keep) body_.resize(body_end_ + keep);
      std::memcpy(body_.data() + body_end_, data + skipped, keep);
      body_end_ += keep;
    }
    changed_.notify_all();
    return true;
  }

  // The API reports a body cut short by a closed connection as its end: the announced length
  // tells the two apart.
  void EndOfBody() {
    std::lock_guard lock(mutex_);
    if (Finished()) return;
    stage_ = answer_.length && received_ < *answer_.length ? Stage::kFailed : Stage::kEnded;
    changed_.notify_all();
  }

  void Fail() {
    std::lock_guard lock(mutex_);
    if (!Finished()) stage_ = Stage::kFailed;
    changed_.notify_all();
  }

  const std::shared_ptr<SessionCore> session_;
  const Plan plan_;
  const Clock::duration stall_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool abandoned_ = false;
  Stage stage_ = Stage::kAsking;
  bool answered_ = false;
  Answer answer_;
  std::int64_t skip_ = 0;
  std::uint64_t received_ = 0;
  std::uint64_t arrivals_ = 0;  // pieces received: the stall clock starts again at each
  std::vector<char> body_;
  std::size_t body_begin_ = 0;
  std::size_t body_end_ = 0;
};

struct HandleObject {
  virtual ~HandleObject() = default;
};

struct Session : HandleObject {
  std::shared_ptr<SessionCore> core;
};

struct UrlFile : HandleObject {
  std::shared_ptr<SessionCore> session;
  Target target;
  std::int64_t position = 0;
  std::shared_ptr<Exchange> exchange;
};

struct Connection : HandleObject {
  std::shared_ptr<SessionCore> session;
  std::string host;        // without its port
  INTERNET_PORT port = 0;  // 0: the scheme's default
  std::string user;
  std::string password;
};

struct Request : HandleObject {
  std::shared_ptr<Connection> connection;
  std::string verb;
  std::string path;
  bool http10 = false;
  std::uint32_t flags = 0;
  std::shared_ptr<Exchange> exchange;
};

// A proxy text the API can use: "server:port", both given.
bool ProxyIsUsable(const std::string& proxy) {
  std::optional<std::pair<std::string, INTERNET_PORT>> parts = SplitHostPort(proxy);
  return parts && parts->second != 0 && HostIsPlain(std::string_view(parts->first));
}

bool CopyText(const std::string& text, char* buffer, std::uint32_t* length) {
  if (text.size() + 1 > *length) {
    *length = static_cast<std::uint32_t>(std::min<std::size_t>(text.size() + 1, UINT32_MAX));
    return false;
  }
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  *length = static_cast<std::uint32_t>(text.size());
  return true;
}

class WinInetInternetApi : public InternetApi {
 public:
  explicit WinInetInternetApi(InternetOptions options) : options_(std::move(options)) {
    for (long* limit : {&options_.limits.connect_seconds, &options_.limits.stall_seconds}) {
      *limit = std::clamp(*limit, 1L, kLongestLimitSeconds);
    }
  }

  ~WinInetInternetApi() override {
    for (auto& [handle, object] : handles_) Abandon(*object);
  }
  WinInetInternetApi(const WinInetInternetApi&) = delete;
  WinInetInternetApi& operator=(const WinInetInternetApi&) = delete;

  void SetWaitHook(InternetWaitHook hook) override { wait_hook_ = std::move(hook); }

  InternetHandle OpenSession(const std::string& agent, InternetAccess access,
                             const std::string& proxy) override {
    DWORD type = 0;
    switch (access) {
      case InternetAccess::kPreconfigured:
        type = INTERNET_OPEN_TYPE_PRECONFIG;
        break;
      case InternetAccess::kDirect:
        type = INTERNET_OPEN_TYPE_DIRECT;
        break;
      case InternetAccess::kProxy:
        // The API would quietly go direct past a proxy it cannot use.
        if (!ProxyIsUsable(proxy)) return 0;
        type = INTERNET_OPEN_TYPE_PROXY;
        break;
      default:
        return 0;
    }
    const std::wstring wide_agent = Widen(agent);
    const std::wstring wide_proxy = Widen(proxy);
    auto core = std::make_shared<SessionCore>();
    core->internet = ::InternetOpenW(
        wide_agent.c_str(), type, access == InternetAccess::kProxy ? wide_proxy.c_str() : nullptr,
        nullptr, 0);
    if (core->internet == nullptr) return 0;
    DWORD connect_ms = Milliseconds(options_.limits.connect_seconds);
    ::InternetSetOptionW(core->internet, INTERNET_OPTION_CONNECT_TIMEOUT, &connect_ms,
                         sizeof connect_ms);
    auto session = std::make_shared<Session>();
    session->core = std::move(core);
    return Add(std::move(session));
  }

  InternetHandle OpenUrl(InternetHandle session, const std::string& url) override {
    std::shared_ptr<Session> owner = Find<Session>(session);
    if (owner == nullptr) return 0;
    std::optional<Target> target = CrackUrl(Widen(url));
    if (!target) return 0;
    auto file = std::make_shared<UrlFile>();
    file->session = owner->core;
    file->target = std::move(*target);
    file->exchange = Ask(file->session, GetPlan(file->target, 0), InternetWaitHook(wait_hook_));
    if (file->exchange == nullptr) return 0;
    return Add(std::move(file));
  }

  std::int32_t SetFilePointer(InternetHandle url, std::int32_t distance) override {
    return Position(url, distance, nullptr);
  }

  std::int32_t SetFilePointerIfUnchanged(InternetHandle url, std::int32_t distance,
                                         const std::string& validator) override {
    return Position(url, distance, &validator);
  }

  bool ReadFile(InternetHandle url, char* buffer, std::uint32_t size,
                std::uint32_t* read) override {
    if (read != nullptr) *read = 0;
    std::shared_ptr<UrlFile> file = Find<UrlFile>(url);
    if (file == nullptr || buffer == nullptr || read == nullptr || file->exchange == nullptr) {
      return false;
    }
    // Held here: a handler run by the hook may close the handle or change the hook meanwhile.
    std::shared_ptr<Exchange> exchange = file->exchange;
    const InternetWaitHook hook = wait_hook_;
    // Fill the buffer unless the body ends first, so a caller sees whole reads; but once some
    // bytes are in hand, a server that trickles does not hold the caller (and its window)
    // for longer than a moment.
    const Clock::time_point hand_over_at = Clock::now() + kPartialReadWait;
    while (*read < size) {
      std::size_t got = exchange->TakeBody(buffer + *read, size - *read);
      *read += static_cast<std::uint32_t>(got);
      file->position += static_cast<std::int64_t>(got);
      if (got > 0) continue;
      bool failed = false;
      if (exchange->drained(&failed)) {
        // The bytes of this read are handed out; a failure shows on the next one.
        return *read > 0 || !failed;
      }
      WaitRules rules = BodyRules(hook);
      if (*read > 0) rules.deadline = hand_over_at;
      switch (exchange->WaitForBody(rules)) {
        case WaitEnd::kReady:
          break;
        case WaitEnd::kDeadline:
          return true;
        case WaitEnd::kStalled:
        case WaitEnd::kStopped:
          exchange->Abandon();
          return *read > 0;
      }
    }
    return true;
  }

  InternetHandle Connect(InternetHandle session, const std::string& host, std::uint16_t port,
                         const std::string& user, const std::string& password) override {
    std::shared_ptr<Session> owner = Find<Session>(session);
    if (owner == nullptr || !HostIsPlain(std::string_view(host))) return 0;
    std::optional<std::pair<std::string, INTERNET_PORT>> parts = SplitHostPort(host);
    if (!parts || parts->first.empty()) return 0;
    auto connection = std::make_shared<Connection>();
    connection->session = owner->core;
    connection->host = parts->first;
    // A port in the host text wins.
    connection->port = parts->second != 0 ? parts->second : port;
    if (!user.empty()) {
      connection->user = user;
      connection->password = password;
    }
    return Add(std::move(connection));
  }

  InternetHandle OpenRequest(InternetHandle connection, const std::string& verb,
                             const std::string& path, const std::string& version,
                             std::uint32_t flags) override {
    std::shared_ptr<Connection> owner = Find<Connection>(connection);
    if (owner == nullptr || verb.empty()) return 0;
    auto request = std::make_shared<Request>();
    request->connection = std::move(owner);
    request->verb = verb;
    request->path = path;
    request->http10 = version == "HTTP/1.0";
    request->flags = flags;
    return Add(std::move(request));
  }

  void SendRequest(InternetHandle request) override {
    std::shared_ptr<Request> r = Find<Request>(request);
    if (r == nullptr) return;
    if (r->exchange != nullptr) r->exchange->Abandon();
    r->exchange.reset();
    const Connection& c = *r->connection;
    Target target;
    target.secure = (r->flags & kRequestSecure) != 0;
    target.host = Widen(c.host);
    target.port = c.port != 0
                      ? c.port
                      : (target.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    target.path = Widen(r->path);
    if (target.path.empty() || target.path.front() != L'/') target.path.insert(0, L"/");
    // A path must not carry blanks or line breaks into the request line.
    if (std::any_of(target.path.begin(), target.path.end(),
                    [](wchar_t ch) { return ch <= L' ' || ch == 0x7f; })) {
      return;
    }

    Plan plan = BasePlan(target);
    plan.verb = Widen(r->verb);
    plan.version = r->http10 ? L"HTTP/1.0" : L"HTTP/1.1";
    plan.keep_body = false;
    if ((r->flags & kRequestReload) != 0) {
      // No cache on the way (a proxy's included) may answer in the server's place.
      plan.headers += L"Cache-Control: no-cache\r\nPragma: no-cache\r\n";
    }
    if (!c.user.empty()) {
      plan.authorization = L"Authorization: Basic " + Base64(c.user + ":" + c.password) + L"\r\n";
    }
    const InternetWaitHook hook = wait_hook_;
    std::shared_ptr<Exchange> exchange = Ask(c.session, std::move(plan), hook);
    if (exchange == nullptr) return;
    // Runs to its end: a body that comes (not with HEAD) is read and dropped.
    WaitEnd end = exchange->WaitForEnd(BodyRules(hook));
    if (end == WaitEnd::kStalled || end == WaitEnd::kStopped) exchange->Abandon();
    r->exchange = std::move(exchange);
  }

  bool QueryRawHeaders(InternetHandle request, char* buffer, std::uint32_t* length) override {
    std::shared_ptr<Request> r = Find<Request>(request);
    if (r == nullptr || r->exchange == nullptr || buffer == nullptr || length == nullptr ||
        !r->exchange->answered() || r->exchange->answer().block_too_long) {
      return false;
    }
    return CopyText(r->exchange->answer().block, buffer, length);
  }

  bool QueryStatusCode(InternetHandle request, char* buffer, std::uint32_t* length) override {
    std::shared_ptr<Request> r = Find<Request>(request);
    if (r == nullptr || r->exchange == nullptr || buffer == nullptr || length == nullptr ||
        !r->exchange->answered() || r->exchange->answer().status == 0) {
      return false;
    }
    return CopyText(std::to_string(r->exchange->answer().status), buffer, length);
  }

  void CloseHandle(InternetHandle handle) override {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return;
    std::shared_ptr<HandleObject> object = std::move(it->second);
    handles_.erase(it);
    Abandon(*object);
  }

 private:
  static void Abandon(HandleObject& object) {
    if (auto* file = dynamic_cast<UrlFile*>(&object); file != nullptr && file->exchange) {
      file->exchange->Abandon();
    }
    if (auto* request = dynamic_cast<Request*>(&object); request != nullptr && request->exchange) {
      request->exchange->Abandon();
    }
  }

  Plan BasePlan(const Target& target) const {
    Plan plan;
    plan.target = target;
    plan.limits = options_.limits;
    // Certificates are checked against the system's store only: a caller that names
    // authorities of its own gets no https rather than a check other than the one asked for.
    plan.secure_allowed = options_.ca_file.empty();
    return plan;
  }

  // A GET of the address, from byte `from` when that is not 0.
  Plan GetPlan(const Target& target, std::int64_t from) const {
    Plan plan = BasePlan(target);
    plan.verb = L"GET";
    plan.version = L"HTTP/1.1";
    if (from > 0) {
      plan.headers = L"Range: bytes=" + std::to_wstring(from) + L"-\r\n";
      plan.skip = from;
    }
    return plan;
  }

  // Asks for the body again from the position distance away (only while the file is the one
  // validator describes, when there is one): the old answer is dropped.
  std::int32_t Position(InternetHandle url, std::int32_t distance, const std::string* validator) {
    std::shared_ptr<UrlFile> file = Find<UrlFile>(url);
    if (file == nullptr) return kInvalidSetFilePointer;
    const std::optional<std::int64_t> place = PositionTarget(file->position, distance, validator);
    if (!place) return kInvalidSetFilePointer;
    const std::int64_t target = *place;
    if (target == file->position) return static_cast<std::int32_t>(target);

    if (file->exchange != nullptr) file->exchange->Abandon();
    file->exchange.reset();
    Plan plan = GetPlan(file->target, target);
    if (validator != nullptr) {
      plan.headers += L"If-Range: " + HeaderText(*validator) + L"\r\n";
      // A whole body is then the changed file, kept from its first byte.
      plan.skip = 0;
    }
    // Held here: a handler run by the hook may change the hook or close the handle.
    const InternetWaitHook hook = wait_hook_;
    std::shared_ptr<Exchange> exchange = Ask(file->session, std::move(plan), hook);
    if (exchange == nullptr) return kInvalidSetFilePointer;
    const Answer& answer = exchange->answer();
    std::int64_t placed_at = -1;
    if (answer.status == 206) {
      if (RangeRunsToTheEnd(answer.content_range, target)) placed_at = target;
    } else if (answer.status == 200 && validator != nullptr) {
      // The file changed since the validator was seen: this is the new one, from its start.
      placed_at = 0;
    } else if (answer.status == 200) {
      // The server ignored the range and sends the whole body: the worker passes over the
      // first bytes, in the answer's time plus what a slow but living server needs for them.
      WaitRules rules = BodyRules(hook);
      rules.deadline =
          Clock::now() + AnswerLimit() + std::chrono::seconds(target / kSlowestSkipBytesPerSecond);
      if (exchange->WaitForSkip(rules) == WaitEnd::kReady && exchange->skip_left() == 0) {
        placed_at = target;
      }
    }
    // A handler run by the hook may have closed the handle meanwhile: the answer is nobody's.
    if (placed_at < 0 || Find<UrlFile>(url) != file) {
      exchange->Abandon();
      return kInvalidSetFilePointer;
    }
    file->exchange = std::move(exchange);
    file->position = placed_at;
    return static_cast<std::int32_t>(placed_at);
  }

  // How long the final answer's head may take: the connect and stall limits together.
  Clock::duration AnswerLimit() const {
    return std::chrono::seconds(options_.limits.connect_seconds + options_.limits.stall_seconds);
  }

  // The rules of a wait for body bytes: the stall limit, the hook. Each operation calls a copy
  // of the hook, which may itself set another one.
  static WaitRules BodyRules(const InternetWaitHook& hook) {
    WaitRules rules;
    rules.stall_clock = true;
    rules.hook = &hook;
    return rules;
  }

  // Sends the request and waits for the final answer's head; nothing when none came. A server
  // that keeps talking without ever giving the final answer is cut off once the connect and
  // stall limits have passed.
  std::shared_ptr<Exchange> Ask(std::shared_ptr<SessionCore> session, Plan plan,
                                const InternetWaitHook& hook) {
    std::shared_ptr<Exchange> exchange = Exchange::Start(std::move(session), std::move(plan));
    if (exchange == nullptr) return nullptr;
    WaitRules rules;
    rules.deadline = Clock::now() + AnswerLimit();
    rules.hook = &hook;
    if (exchange->WaitForAnswer(rules) != WaitEnd::kReady || !exchange->answered()) {
      exchange->Abandon();
      return nullptr;
    }
    return exchange;
  }

  InternetHandle Add(std::shared_ptr<HandleObject> object) {
    InternetHandle handle = next_handle_++;
    handles_.emplace(handle, std::move(object));
    return handle;
  }

  template <typename T>
  std::shared_ptr<T> Find(InternetHandle handle) {
    auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : std::dynamic_pointer_cast<T>(it->second);
  }

  InternetOptions options_;
  InternetWaitHook wait_hook_;
  // Handles are never reused, so a closed one stays invalid.
  InternetHandle next_handle_ = 0x1000;
  std::unordered_map<InternetHandle, std::shared_ptr<HandleObject>> handles_;
};

}  // namespace

std::unique_ptr<InternetApi> CreateInternetApi(const InternetOptions& options) {
  return std::make_unique<WinInetInternetApi>(options);
}

}  // namespace rariduze
