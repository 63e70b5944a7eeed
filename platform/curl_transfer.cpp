#include "platform/curl_transfer.h"

#include <algorithm>

#include "platform/header_text.h"
#include "platform/http_status.h"

namespace rariduze {
namespace {

constexpr std::chrono::milliseconds kHookInterval{kWaitHookIntervalMs};
// libcurl's receive buffer (its largest: fewest system calls per byte), and the room for body
// bytes that arrived before the caller asked. Receiving pauses while less than one receive
// buffer of room is left, so the rest of the read in hand always fits and libcurl need not keep
// a copy of its own. Together they bound the memory of a transfer.
constexpr long kReceiveBufferSize = 512 * 1024;
constexpr std::size_t kBodyRoom = 2 * kReceiveBufferSize;

}  // namespace

CurlTransfer::CurlTransfer(const std::string& url, const std::string& agent,
                           const std::string& proxy, const InternetOptions& options)
    : easy_(curl_easy_init()),
      multi_(curl_multi_init()),
      stall_(options.limits.stall_seconds),
      answer_limit_(AnswerLimit(options.limits)),
      body_(kBodyRoom) {
  if (easy_ == nullptr || multi_ == nullptr) return;
  // Each of these decides what the transfer does or may reach; one refused by this libcurl
  // fails the transfer rather than letting it run otherwise.
  Set(CURLOPT_URL, url.c_str());
  Set(CURLOPT_USERAGENT, agent.c_str());
  Set(CURLOPT_NOSIGNAL, 1L);
  // Only the web: no file://, ftp:// or anything else, not even through a redirect.
  Set(CURLOPT_PROTOCOLS_STR, "http,https");
  Set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  Set(CURLOPT_FOLLOWLOCATION, 1L);
  Set(CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
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
  Set(CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeader);
  Set(CURLOPT_HEADERDATA, this);
  Set(CURLOPT_WRITEFUNCTION, &CurlTransfer::OnBody);
  Set(CURLOPT_WRITEDATA, this);
  // The stall clock starts when this says the connection stands.
  Set(CURLOPT_PREREQFUNCTION, &CurlTransfer::OnConnected);
  Set(CURLOPT_PREREQDATA, this);
  // Only memory and speed depend on this one.
  curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
}

CurlTransfer::~CurlTransfer() {
  if (added_) curl_multi_remove_handle(multi_, easy_);
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
  if (multi_ != nullptr) curl_multi_cleanup(multi_);
  curl_slist_free_all(headers_);
}

void CurlTransfer::AddHeader(const std::string& line) {
  curl_slist* grown = curl_slist_append(headers_, line.c_str());
  if (grown == nullptr) {
    refused_ = true;
    return;
  }
  headers_ = grown;
}

bool CurlTransfer::Start() {
  if (easy_ == nullptr || multi_ == nullptr) return false;
  if (headers_ != nullptr) Set(CURLOPT_HTTPHEADER, headers_);
  if (refused_ || curl_multi_add_handle(multi_, easy_) != CURLM_OK) return false;
  added_ = true;
  return true;
}

bool CurlTransfer::WaitForHead(const InternetWaitHook& hook) {
  const Clock::time_point give_up_at = Clock::now() + answer_limit_;
  RunUntil(hook, [&] { return final_head_ || Clock::now() >= give_up_at; });
  if (!ended_ && !final_head_) End(CURLE_OPERATION_TIMEDOUT);
  return final_head_ || (ended_ && result_ == CURLE_OK && complete_head_);
}

std::size_t CurlTransfer::TakeBody(char* buffer, std::size_t size) {
  return body_.Take(buffer, size);
}

bool CurlTransfer::Drained(bool* failed) const {
  *failed = ended_ && result_ != CURLE_OK;
  return ended_ && body_.size() == 0;
}

bool CurlTransfer::WaitForBody(const InternetWaitHook& hook, Clock::time_point give_up_at) {
  if (body_.size() == 0 && !ended_) {
    Resume();
    RunUntil(hook, [&] { return body_.size() > 0 || Clock::now() >= give_up_at; });
  }
  return body_.size() > 0 || ended_;
}

bool CurlTransfer::PassOver(std::int64_t bytes, const InternetWaitHook& hook,
                            Clock::time_point give_up_at) {
  const std::size_t dropped = body_.Drop(static_cast<std::size_t>(bytes));
  skip_ = bytes - static_cast<std::int64_t>(dropped);
  if (skip_ > 0) Resume();
  RunUntil(hook, [&] { return skip_ == 0 || Clock::now() >= give_up_at; });
  if (skip_ != 0) End(CURLE_OPERATION_TIMEDOUT);
  return skip_ == 0;
}

void CurlTransfer::WaitForEnd(const InternetWaitHook& hook) {
  RunUntil(hook, [] { return false; });
}

void CurlTransfer::Resume() {
  if (!paused_) return;
  paused_ = false;
  // May deliver the held bytes at once, through OnBody.
  curl_easy_pause(easy_, CURLPAUSE_CONT);
}

template <typename Ready>
void CurlTransfer::RunUntil(const InternetWaitHook& hook, Ready ready) {
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
      if (hook && !hook()) {
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

void CurlTransfer::End(CURLcode result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  // Let go of the connection now rather than when the handle is closed.
  if (added_) curl_multi_remove_handle(multi_, easy_);
  added_ = false;
}

int CurlTransfer::OnConnected(void* self, char* /*conn_primary_ip*/, char* /*conn_local_ip*/,
                              int /*conn_primary_port*/, int /*conn_local_port*/) {
  static_cast<CurlTransfer*>(self)->connected_ = true;
  return CURL_PREREQFUNC_OK;
}

std::size_t CurlTransfer::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
  static_cast<CurlTransfer*>(self)->TakeHeaderLine(std::string_view(data, size * count));
  return size * count;
}

void CurlTransfer::TakeHeaderLine(std::string_view line) {
  bytes_seen_ += line.size();
  // Trailers after a chunked body leave the final answer's head as it was.
  if (final_head_) return;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (expect_status_line_) {
    // A new answer: an interim one, a redirect, or the final one.
    expect_status_line_ = false;
    complete_head_ = false;
    has_location_ = false;
    head_ = AnswerHead{};
    head_.status = HttpStatusCode(line);
  } else if (StartsWithNoCase(line, "location:")) {
    has_location_ = !TrimBlanks(line.substr(9)).empty();
  } else if (StartsWithNoCase(line, "content-range:")) {
    head_.content_range = TrimBlanks(line.substr(14));
  }
  if (!head_.block_too_long) {
    if (head_.block.size() + line.size() + 2 > kMaxHeaderBlock) {
      head_.block_too_long = true;
      head_.block.clear();
    } else {
      head_.block.append(line).append("\r\n");
    }
  }
  if (line.empty()) {
    expect_status_line_ = true;
    complete_head_ = true;
    const bool interim = head_.status < 200;
    const bool redirected = head_.status >= 300 && head_.status < 400 && has_location_;
    if (!interim && !redirected) final_head_ = true;
  }
}

std::size_t CurlTransfer::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  return static_cast<CurlTransfer*>(self)->Receive(data, size * count);
}

std::size_t CurlTransfer::Receive(const char* data, std::size_t size) {
  bytes_seen_ += size;
  final_head_ = true;
  if (!keep_body_) return size;
  const auto skipped = static_cast<std::size_t>(std::min<std::int64_t>(skip_, size));
  skip_ -= static_cast<std::int64_t>(skipped);
  const std::size_t keep = size - skipped;
  if (keep == 0) return size;
  if (!body_.MakeRoom(keep) && body_.size() > 0) {
    // More came than the room left (a libcurl that reads on while paused): refuse it and
    // hold the connection. libcurl hands the same bytes again once un-paused, so undo the
    // skip counted above.
    skip_ += static_cast<std::int64_t>(skipped);
    paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  body_.Append(data + skipped, keep);
  if (!paused_ && body_.capacity() - body_.size() < static_cast<std::size_t>(kReceiveBufferSize)) {
    // Nearly full: take the rest of this read, then receive nothing until the caller is here.
    paused_ = true;
    curl_easy_pause(easy_, CURLPAUSE_RECV);
  }
  return size;
}

}  // namespace rariduze
