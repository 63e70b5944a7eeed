// The internet operations over libcurl. Every handle is a number looked up in a table, so a
// stale or foreign value is refused instead of followed. A transfer runs on a private multi
// handle that this file drives itself: that is what lets a GET return once its headers are in
// and then hand out the body in small reads, pausing the connection while the caller is busy.
// Every wait runs in slices of at most kWaitHookIntervalMs with the caller's wait hook between
// them, so a silent server never holds the caller's window, and the hook can end the wait.

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/http_range.h"
#include "platform/http_status.h"
#include "platform/internet.h"
#include "platform/system_proxy.h"

namespace rariduze {
namespace {

using Clock = std::chrono::steady_clock;

constexpr long kMaxRedirects = 10;
constexpr std::chrono::milliseconds kHookInterval{kWaitHookIntervalMs};
// The limits a caller may ask for are cut to a day, so no clock or libcurl option overflows.
constexpr long kLongestLimitSeconds = 24 * 60 * 60;
// Passing over the start of a body whose server ignored the range is given the answer's time
// plus this rate's: a server that trickles cannot keep the positioning going for ever.
constexpr std::int64_t kSlowestSkipBytesPerSecond = 64 * 1024;
// How long a read that has some bytes waits for the rest of its buffer.
constexpr std::chrono::milliseconds kPartialReadWait{250};
// A header block is kept up to this size; a longer one is only marked as too long.
constexpr std::size_t kMaxHeaderBlock = 64 * 1024;
// libcurl's receive buffer (its largest: fewest system calls per byte), and the room for body
// bytes that arrived before the caller asked. Receiving pauses while less than one receive
// buffer of room is left, so the rest of the read in hand always fits and libcurl need not keep
// a copy of its own. Together they bound the memory of a transfer.
constexpr long kReceiveBufferSize = 512 * 1024;
constexpr std::size_t kBodyRoom = 2 * kReceiveBufferSize;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

struct SessionSettings {
  std::string agent;
  InternetAccess access;
  std::string proxy;
};

// One request on its own multi handle, with the answer's headers and the body bytes that
// arrived before the caller read them.
class Transfer {
 public:
  // proxy: "" for a direct connection. hook: the caller's wait hook (the pointee may change
  // between waits).
  Transfer(const SessionSettings& session, const std::string& proxy, const InternetOptions& options,
           const InternetWaitHook& hook, const std::string& url)
      : easy_(curl_easy_init()),
        multi_(curl_multi_init()),
        hook_(hook),
        stall_(options.limits.stall_seconds),
        answer_limit_(options.limits.connect_seconds + options.limits.stall_seconds) {
    if (easy_ == nullptr || multi_ == nullptr) return;
    // Each of these decides what the transfer does or may reach; one refused by this libcurl
    // fails the transfer rather than letting it run otherwise.
    Set(CURLOPT_URL, url.c_str());
    Set(CURLOPT_USERAGENT, session.agent.c_str());
    Set(CURLOPT_NOSIGNAL, 1L);
    // Only the web: no file://, ftp:// or anything else, not even through a redirect.
    Set(CURLOPT_PROTOCOLS_STR, "http,https");
    Set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    Set(CURLOPT_FOLLOWLOCATION, 1L);
    Set(CURLOPT_MAXREDIRS, kMaxRedirects);
    Set(CURLOPT_CONNECTTIMEOUT, options.limits.connect_seconds);
    Set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    // The platform's internet API speaks HTTP/1.1; https must not negotiate anything newer.
    Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    Set(CURLOPT_SSL_VERIFYPEER, 1L);
    Set(CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.ca_file.empty()) Set(CURLOPT_CAINFO, options.ca_file.c_str());
    // The proxy is decided for this address already: no environment variable overrides it.
    Set(CURLOPT_PROXY, proxy.c_str());
    Set(CURLOPT_NOPROXY, "");
    Set(CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    Set(CURLOPT_HEADERDATA, this);
    Set(CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    Set(CURLOPT_WRITEDATA, this);
    // The stall clock starts when this says the connection stands.
    Set(CURLOPT_PREREQFUNCTION, &Transfer::OnConnected);
    Set(CURLOPT_PREREQDATA, this);
    // Only memory and speed depend on this one.
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  }

  // Sets an option that must hold; a refused one fails Start().
  template <typename Value>
  void Set(CURLoption option, Value value) {
    if (easy_ == nullptr || curl_easy_setopt(easy_, option, value) != CURLE_OK) refused_ = true;
  }

  ~Transfer() {
    if (added_) curl_multi_remove_handle(multi_, easy_);
    if (easy_ != nullptr) curl_easy_cleanup(easy_);
    if (multi_ != nullptr) curl_multi_cleanup(multi_);
    curl_slist_free_all(headers_);
  }

  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  CURL* easy() { return easy_; }
  // Its handle was closed, perhaps by the wait hook while a wait on it runs: that wait ends as
  // on a broken connection.
  void Abandon() { End(CURLE_ABORTED_BY_CALLBACK); }
  void AddHeader(const std::string& line) {
    curl_slist* grown = curl_slist_append(headers_, line.c_str());
    if (grown == nullptr) {
      refused_ = true;
      return;
    }
    headers_ = grown;
  }
  void DiscardBody() { keep_body_ = false; }
  // Passes over the next bytes of the body, those already waiting first.
  void SkipBody(std::int64_t bytes) {
    std::size_t now = static_cast<std::size_t>(std::min<std::int64_t>(bytes, BodyWaiting()));
    body_begin_ += now;
    skip_ = bytes - static_cast<std::int64_t>(now);
  }

  // Sends the request; false when it could not even be set up.
  bool Start() {
    if (easy_ == nullptr || multi_ == nullptr) return false;
    if (headers_ != nullptr) Set(CURLOPT_HTTPHEADER, headers_);
    if (refused_ || curl_multi_add_handle(multi_, easy_) != CURLM_OK) return false;
    added_ = true;
    return true;
  }

  // Runs until the final answer's headers are in (true) or the transfer has ended without them.
  bool WaitForHeaders() {
    RunUntilOrGiveUp([this] { return final_headers_; });
    return final_headers_ || (ended_ && result_ == CURLE_OK && complete_head_);
  }
  void WaitForEnd() {
    RunUntilOrGiveUp([] { return false; });
  }
  // Runs until the body bytes to be skipped are gone; false when the body ended first or the
  // skip took longer than a slow but living server would need.
  bool WaitForSkip() {
    if (skip_ > 0 && paused_) {
      paused_ = false;
      curl_easy_pause(easy_, CURLPAUSE_CONT);
    }
    const Clock::time_point give_up_at =
        Clock::now() + answer_limit_ + std::chrono::seconds(skip_ / kSlowestSkipBytesPerSecond);
    RunUntil([this, give_up_at] { return skip_ == 0 || Clock::now() >= give_up_at; });
    if (skip_ != 0) End(CURLE_OPERATION_TIMEDOUT);
    return skip_ == 0;
  }

  // Copies up to size waiting body bytes; waits for more only when none are waiting, and not
  // past give_up_at (nothing is copied then).
  std::size_t ReadBody(char* buffer, std::size_t size,
                       Clock::time_point give_up_at = Clock::time_point::max()) {
    if (BodyWaiting() == 0 && !ended_) {
      if (paused_) {
        paused_ = false;
        // May deliver the held bytes at once, through OnBody.
        curl_easy_pause(easy_, CURLPAUSE_CONT);
      }
      RunUntil([this, give_up_at] { return BodyWaiting() > 0 || Clock::now() >= give_up_at; });
    }
    std::size_t count = std::min(size, BodyWaiting());
    if (count == 0) return 0;
    std::memcpy(buffer, body_.data() + body_begin_, count);
    body_begin_ += count;
    return count;
  }

  std::size_t BodyWaiting() const { return body_end_ - body_begin_; }
  bool ended() const { return ended_; }
  bool failed() const { return ended_ && result_ != CURLE_OK; }
  bool has_final_headers() const { return final_headers_; }
  int status() const { return status_; }
  const std::string& header_block() const { return block_; }
  bool header_block_too_long() const { return block_too_long_; }
  const std::string& content_range() const { return content_range_; }

 private:
  // Like RunUntil, but a server that keeps talking without ever giving the final answer (one
  // interim answer after another) is cut off once the connect and stall limits have passed.
  template <typename Ready>
  void RunUntilOrGiveUp(Ready ready) {
    const Clock::time_point give_up_at = Clock::now() + answer_limit_;
    RunUntil([&] { return ready() || Clock::now() >= give_up_at; });
    if (!ended_ && !ready()) End(CURLE_OPERATION_TIMEDOUT);
  }

  // Drives the transfer until ready() holds or it ends: a stall ends it, and so does the
  // caller's wait hook, which is called whenever the wait has lasted one more interval.
  template <typename Ready>
  void RunUntil(Ready ready) {
    Clock::time_point quiet_since = Clock::now();
    Clock::time_point next_hook = quiet_since + kHookInterval;
    std::uint64_t seen = bytes_seen_;
    while (!ended_ && !ready()) {
      int running = 0;
      if (curl_multi_perform(multi_, &running) != CURLM_OK) {
        End(CURLE_RECV_ERROR);
        break;
      }
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg == CURLMSG_DONE) End(message->data.result);
      }
      if (ended_ || ready()) break;
      // The stall clock runs from the moment the connection stands; before that the connect
      // time-out governs.
      Clock::time_point now = Clock::now();
      if (bytes_seen_ != seen || !connected_) {
        seen = bytes_seen_;
        quiet_since = now;
      } else if (now - quiet_since >= stall_) {
        End(CURLE_OPERATION_TIMEDOUT);
        break;
      }
      if (now >= next_hook) {
        // A copy: the hook may set another hook while it runs.
        if (hook_ && !InternetWaitHook(hook_)()) {
          End(CURLE_ABORTED_BY_CALLBACK);
          break;
        }
        if (ended_) break;  // the hook closed the handle
        now = Clock::now();
        next_hook = now + kHookInterval;
      }
      const Clock::time_point wake_at = std::min(quiet_since + stall_, next_hook);
      const auto left_ms = std::chrono::duration_cast<std::chrono::milliseconds>(wake_at - now);
      const int wait_ms =
          static_cast<int>(std::clamp<std::int64_t>(left_ms.count(), 1, kWaitHookIntervalMs));
      curl_multi_poll(multi_, nullptr, 0, wait_ms, nullptr);
    }
  }

  void End(CURLcode result) {
    if (ended_) return;
    ended_ = true;
    result_ = result;
    // Let go of the connection now rather than when the handle is closed.
    if (added_) curl_multi_remove_handle(multi_, easy_);
    added_ = false;
  }

  static int OnConnected(void* self, char*, char*, int, int) {
    static_cast<Transfer*>(self)->connected_ = true;
    return CURL_PREREQFUNC_OK;
  }

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    static_cast<Transfer*>(self)->TakeHeaderLine(std::string_view(data, size * count));
    return size * count;
  }

  void TakeHeaderLine(std::string_view line) {
    bytes_seen_ += line.size();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (expect_status_line_) {
      // A new answer: an interim one, a redirect, or the final one.
      expect_status_line_ = false;
      complete_head_ = false;
      status_ = HttpStatusCode(line);
      block_.clear();
      block_too_long_ = false;
      has_location_ = false;
      content_range_.clear();
    } else if (StartsWithNoCase(line, "location:")) {
      has_location_ = !TrimBlanks(line.substr(9)).empty();
    } else if (StartsWithNoCase(line, "content-range:")) {
      content_range_ = TrimBlanks(line.substr(14));
    }
    if (!block_too_long_) {
      if (block_.size() + line.size() + 2 > kMaxHeaderBlock) {
        block_too_long_ = true;
        block_.clear();
      } else {
        block_.append(line).append("\r\n");
      }
    }
    if (line.empty()) {
      expect_status_line_ = true;
      complete_head_ = true;
      bool interim = status_ < 200;
      bool redirected = status_ >= 300 && status_ < 400 && has_location_;
      if (!interim && !redirected) final_headers_ = true;
    }
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    return static_cast<Transfer*>(self)->TakeBody(data, size * count);
  }

  std::size_t TakeBody(const char* data, std::size_t size) {
    bytes_seen_ += size;
    final_headers_ = true;
    if (!keep_body_) return size;
    std::size_t skipped = static_cast<std::size_t>(std::min<std::int64_t>(skip_, size));
    skip_ -= static_cast<std::int64_t>(skipped);
    std::size_t keep = size - skipped;
    if (keep == 0) return size;
    if (body_.size() - body_end_ < keep && body_begin_ > 0) {
      std::memmove(body_.data(), body_.data() + body_begin_, BodyWaiting());
      body_end_ -= body_begin_;
      body_begin_ = 0;
    }
    if (body_.size() - body_end_ < keep) {
      if (BodyWaiting() > 0) {
        // More came than the room left (a libcurl that reads on while paused): refuse it and
        // hold the connection. libcurl hands the same bytes again once un-paused, so undo the
        // skip counted above.
        skip_ += static_cast<std::int64_t>(skipped);
        paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
      }
      body_.resize(std::max(kBodyRoom, keep));
    }
    std::memcpy(body_.data() + body_end_, data + skipped, keep);
    body_end_ += keep;
    if (!paused_ && body_.size() - BodyWaiting() < static_cast<std::size_t>(kReceiveBufferSize)) {
      // Nearly full: take the rest of this read, then receive nothing until the caller is here.
      paused_ = true;
      curl_easy_pause(easy_, CURLPAUSE_RECV);
    }
    return size;
  }

  CURL* easy_;
  CURLM* multi_;
  curl_slist* headers_ = nullptr;
  bool refused_ = false;
  const InternetWaitHook& hook_;
  std::chrono::seconds stall_;
  std::chrono::seconds answer_limit_;
  bool added_ = false;
  bool connected_ = false;
  bool ended_ = false;
  CURLcode result_ = CURLE_OK;
  std::uint64_t bytes_seen_ = 0;

  bool expect_status_line_ = true;
  bool complete_head_ = false;
  bool final_headers_ = false;
  int status_ = 0;
  std::string block_;
  bool block_too_long_ = false;
  bool has_location_ = false;
  std::string content_range_;

  bool keep_body_ = true;
  bool paused_ = false;
  std::int64_t skip_ = 0;
  std::vector<char> body_;
  std::size_t body_begin_ = 0;
  std::size_t body_end_ = 0;
};

struct HandleObject {
  virtual ~HandleObject() = default;
};

struct Session : HandleObject {
  std::shared_ptr<const SessionSettings> settings;
};

// A transfer is shared by its handle and an operation waiting on it, so that the wait hook may
// close the handle meanwhile.
struct UrlFile : HandleObject {
  std::shared_ptr<const SessionSettings> settings;
  std::string url;
  std::int64_t position = 0;
  std::shared_ptr<Transfer> transfer;
};

struct Connection {
  std::shared_ptr<const SessionSettings> settings;
  std::string host;  // may carry its own ":port"
  std::uint16_t port = 0;
  std::string user;
  std::string password;
};

struct Request : HandleObject {
  std::shared_ptr<const Connection> connection;
  std::string verb;
  std::string path;
  bool http10 = false;
  std::uint32_t flags = 0;
  std::shared_ptr<Transfer> transfer;
};

// True when host ends in ":digits" outside IPv6 brackets.
bool HostNamesPort(const std::string& host) {
  std::size_t colon = host.rfind(':');
  if (colon == std::string::npos || colon + 1 == host.size()) return false;
  std::size_t bracket = host.rfind(']');
  if (bracket != std::string::npos && bracket > colon) return false;
  return std::all_of(host.begin() + static_cast<std::ptrdiff_t>(colon) + 1, host.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// A host text must not smuggle credentials, a path or a query into the address.
bool HostIsPlain(const std::string& host) {
  if (host.empty()) return false;
  return std::none_of(host.begin(), host.end(), [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u <= ' ' || u == 0x7f || c == '@' || c == '/' || c == '?' || c == '#' || c == '\\';
  });
}

class CurlInternetApi : public InternetApi {
 public:
  explicit CurlInternetApi(InternetOptions options) : options_(std::move(options)) {
    for (long* limit : {&options_.limits.connect_seconds, &options_.limits.stall_seconds}) {
      *limit = std::clamp(*limit, 1L, kLongestLimitSeconds);
    }
  }

  void SetWaitHook(InternetWaitHook hook) override { wait_hook_ = std::move(hook); }

  InternetHandle OpenSession(const std::string& agent, InternetAccess access,
                             const std::string& proxy) override {
    if (access != InternetAccess::kPreconfigured && access != InternetAccess::kDirect &&
        access != InternetAccess::kProxy) {
      return 0;
    }
    // libcurl sets itself up (and its TLS library) for the first session, not when the
    // program starts: a run that never reaches the network does not pay for it.
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    auto session = std::make_unique<Session>();
    session->settings = std::make_shared<SessionSettings>(
        SessionSettings{agent, access, access == InternetAccess::kProxy ? proxy : std::string()});
    return Add(std::move(session));
  }

  InternetHandle OpenUrl(InternetHandle session, const std::string& url) override {
    Session* owner = Find<Session>(session);
    if (owner == nullptr || url.empty()) return 0;
    auto file = std::make_unique<UrlFile>();
    file->settings = owner->settings;
    file->url = url;
    file->transfer = StartGet(*file->settings, url, 0, nullptr);
    if (file->transfer == nullptr) return 0;
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
    // A download reads the same handle thousands of times in a row.
    if (url != last_read_handle_) {
      last_read_handle_ = url;
      last_read_file_ = Find<UrlFile>(url);
    }
    UrlFile* file = last_read_file_;
    if (read != nullptr) *read = 0;
    if (file == nullptr || buffer == nullptr || read == nullptr || file->transfer == nullptr) {
      return false;
    }
    const std::shared_ptr<Transfer> kept = file->transfer;
    Transfer& transfer = *kept;
    // Fill the buffer unless the body ends first, so a caller sees whole reads; but once some
    // bytes are in hand, a server that trickles does not hold the caller (and its window)
    // for longer than a moment.
    const Clock::time_point hand_over_at = Clock::now() + kPartialReadWait;
    while (*read < size) {
      std::size_t got = transfer.ReadBody(buffer + *read, size - *read,
                                          *read > 0 ? hand_over_at : Clock::time_point::max());
      // The wait hook may have closed the handle meanwhile.
      if (Find<UrlFile>(url) != file) {
        *read = 0;
        return false;
      }
      if (got == 0 && *read > 0 && !transfer.ended()) return true;
      *read += static_cast<std::uint32_t>(got);
      file->position += static_cast<std::int64_t>(got);
      if (got == 0 && transfer.ended() && transfer.BodyWaiting() == 0) {
        // The bytes of this read are handed out; a failure shows on the next one.
        return *read > 0 || !transfer.failed();
      }
    }
    return true;
  }

  InternetHandle Connect(InternetHandle session, const std::string& host, std::uint16_t port,
                         const std::string& user, const std::string& password) override {
    Session* owner = Find<Session>(session);
    if (owner == nullptr || !HostIsPlain(host)) return 0;
    auto connection = std::make_shared<Connection>();
    connection->settings = owner->settings;
    connection->host = host;
    connection->port = port;
    if (!user.empty()) {
      connection->user = user;
      connection->password = password;
    }
    auto handle = std::make_unique<ConnectionHandle>();
    handle->connection = std::move(connection);
    return Add(std::move(handle));
  }

  InternetHandle OpenRequest(InternetHandle connection, const std::string& verb,
                             const std::string& path, const std::string& version,
                             std::uint32_t flags) override {
    ConnectionHandle* owner = Find<ConnectionHandle>(connection);
    if (owner == nullptr || verb.empty()) return 0;
    auto request = std::make_unique<Request>();
    request->connection = owner->connection;
    request->verb = verb;
    request->path = path;
    request->http10 = version == "HTTP/1.0";
    request->flags = flags;
    return Add(std::move(request));
  }

  void SendRequest(InternetHandle request) override {
    Request* r = Find<Request>(request);
    if (r == nullptr) return;
    const std::shared_ptr<const Connection> connection = r->connection;
    const Connection& c = *connection;
    bool secure = (r->flags & kRequestSecure) != 0;
    std::string url = secure ? "https://" : "http://";
    url += c.host;
    if (!HostNamesPort(c.host) && c.port != 0) {
      url += ':';
      url += std::to_string(c.port);
    }
    if (r->path.empty() || r->path.front() != '/') url += '/';
    url += r->path;

    const std::shared_ptr<Transfer> kept = MakeTransfer(*c.settings, url);
    if (kept == nullptr) return;  // the wait for the proxy lookup was abandoned
    // The wait hook may have closed the request meanwhile.
    r = Find<Request>(request);
    if (r == nullptr) return;
    r->transfer = kept;
    Transfer& transfer = *kept;
    if (r->verb == "HEAD") {
      transfer.Set(CURLOPT_NOBODY, 1L);
      // No body follows, so a Content-Length that is no number harms nothing: the header
      // block is still read and handed out as the server sent it.
      transfer.Set(CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    } else if (r->verb != "GET") {
      transfer.Set(CURLOPT_CUSTOMREQUEST, r->verb.c_str());
    }
    transfer.DiscardBody();
    if (r->http10) transfer.Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    if (!c.user.empty()) {
      transfer.Set(CURLOPT_USERNAME, c.user.c_str());
      transfer.Set(CURLOPT_PASSWORD, c.password.c_str());
    }
    if ((r->flags & kRequestReload) != 0) {
      // No cache on the way (a proxy's included) may answer in the server's place.
      transfer.AddHeader("Cache-Control: no-cache");
      transfer.AddHeader("Pragma: no-cache");
    }
    if (transfer.Start()) transfer.WaitForEnd();
  }

  bool QueryRawHeaders(InternetHandle request, char* buffer, std::uint32_t* length) override {
    Request* r = Find<Request>(request);
    if (r == nullptr || r->transfer == nullptr || buffer == nullptr || length == nullptr ||
        !r->transfer->has_final_headers() || r->transfer->header_block_too_long()) {
      return false;
    }
    return CopyText(r->transfer->header_block(), buffer, length);
  }

  bool QueryStatusCode(InternetHandle request, char* buffer, std::uint32_t* length) override {
    Request* r = Find<Request>(request);
    if (r == nullptr || r->transfer == nullptr || buffer == nullptr || length == nullptr ||
        !r->transfer->has_final_headers() || r->transfer->status() == 0) {
      return false;
    }
    return CopyText(std::to_string(r->transfer->status()), buffer, length);
  }

  void CloseHandle(InternetHandle handle) override {
    if (handle == last_read_handle_) last_read_file_ = nullptr;
    auto it = handles_.find(handle);
    if (it == handles_.end()) return;
    if (auto* file = dynamic_cast<UrlFile*>(it->second.get()); file && file->transfer) {
      file->transfer->Abandon();
    }
    if (auto* r = dynamic_cast<Request*>(it->second.get()); r && r->transfer) {
      r->transfer->Abandon();
    }
    handles_.erase(it);
  }

 private:
  struct ConnectionHandle : HandleObject {
    std::shared_ptr<const Connection> connection;
  };

  // The proxy for url by the session's settings ("" = direct); nothing when the wait for the
  // desktop's answer was abandoned.
  std::optional<std::string> ProxyFor(const SessionSettings& session, const std::string& url) {
    switch (session.access) {
      case InternetAccess::kProxy:
        return session.proxy;
      case InternetAccess::kPreconfigured:
        return DesktopProxySettings().ProxyFor(
            url, std::chrono::seconds(options_.limits.connect_seconds), wait_hook_);
      case InternetAccess::kDirect:
        break;
    }
    return std::string();
  }

  std::shared_ptr<Transfer> MakeTransfer(const SessionSettings& session, const std::string& url) {
    std::optional<std::string> proxy = ProxyFor(session, url);
    if (!proxy) return nullptr;
    return std::make_shared<Transfer>(session, *proxy, options_, wait_hook_, url);
  }

  // Sends a GET (from byte `from` when not 0, only while the file is the one validator
  // describes when there is one) and waits for the final answer's headers.
  std::shared_ptr<Transfer> StartGet(const SessionSettings& session, const std::string& url,
                                     std::int64_t from, const std::string* validator) {
    std::shared_ptr<Transfer> transfer = MakeTransfer(session, url);
    if (transfer == nullptr) return nullptr;
    if (from > 0) {
      transfer->Set(CURLOPT_RANGE, (std::to_string(from) + "-").c_str());
      if (validator != nullptr) transfer->AddHeader("If-Range: " + *validator);
    }
    if (!transfer->Start() || !transfer->WaitForHeaders()) return nullptr;
    return transfer;
  }

  // Asks for the body again from the position distance away: the old answer is dropped.
  std::int32_t Position(InternetHandle url, std::int32_t distance, const std::string* validator) {
    UrlFile* file = Find<UrlFile>(url);
    if (file == nullptr) return kInvalidSetFilePointer;
    const std::optional<std::int64_t> place = PositionTarget(file->position, distance, validator);
    if (!place) return kInvalidSetFilePointer;
    const std::int64_t target = *place;
    if (target == file->position) return static_cast<std::int32_t>(target);

    file->transfer.reset();
    const std::shared_ptr<const SessionSettings> settings = file->settings;
    const std::string address = file->url;
    const std::shared_ptr<Transfer> kept = StartGet(*settings, address, target, validator);
    // The wait hook may have closed the handle meanwhile.
    if (Find<UrlFile>(url) != file) return kInvalidSetFilePointer;
    file->transfer = kept;
    Transfer* transfer = kept.get();
    std::int64_t placed_at = -1;
    if (transfer == nullptr) {
      // no answer
    } else if (transfer->status() == 206) {
      if (RangeRunsToTheEnd(transfer->content_range(), target)) placed_at = target;
    } else if (transfer->status() == 200 && validator != nullptr) {
      // The file changed since the validator was seen: this is the new one, from its start.
      placed_at = 0;
    } else if (transfer->status() == 200) {
      // The server ignored the range and sends the whole body: pass over the first bytes here.
      transfer->SkipBody(target);
      if (transfer->WaitForSkip()) placed_at = target;
      if (Find<UrlFile>(url) != file) return kInvalidSetFilePointer;
    }
    if (placed_at < 0) {
      file->transfer.reset();
      return kInvalidSetFilePointer;
    }
    file->position = placed_at;
    return static_cast<std::int32_t>(placed_at);
  }

  static bool CopyText(const std::string& text, char* buffer, std::uint32_t* length) {
    if (text.size() + 1 > *length) {
      *length = static_cast<std::uint32_t>(std::min<std::size_t>(text.size() + 1, UINT32_MAX));
      return false;
    }
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    *length = static_cast<std::uint32_t>(text.size());
    return true;
  }

  InternetHandle Add(std::unique_ptr<HandleObject> object) {
    InternetHandle handle = next_handle_++;
    handles_.emplace(handle, std::move(object));
    return handle;
  }

  template <typename T>
  T* Find(InternetHandle handle) {
    auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : dynamic_cast<T*>(it->second.get());
  }

  InternetOptions options_;
  InternetWaitHook wait_hook_;
  // Handles are never reused, so a closed one stays invalid.
  InternetHandle next_handle_ = 0x1000;
  std::unordered_map<InternetHandle, std::unique_ptr<HandleObject>> handles_;
  InternetHandle last_read_handle_ = 0;
  UrlFile* last_read_file_ = nullptr;
};

}  // namespace

std::unique_ptr<InternetApi> CreateInternetApi(const InternetOptions& options) {
  return std::make_unique<CurlInternetApi>(options);
}

}  // namespace rariduze
