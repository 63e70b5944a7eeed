#pragma once

// One request of the libcurl backend on a private multi handle that this side drives itself:
// that is what lets a GET return once its headers are in and then hand out the body in small
// reads, pausing the connection while the caller is busy. Every wait runs in slices of at most
// kWaitHookIntervalMs with the caller's wait hook between them, so a silent server never holds
// the caller's window, and the hook can end the wait.

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/internet_exchange.h"
#include "platform/read_ahead_buffer.h"

namespace rariduze {

class CurlTransfer : public InternetExchange {
 public:
  // proxy: "" for a direct connection.
  CurlTransfer(const std::string& url, const std::string& agent, const std::string& proxy,
               const InternetOptions& options);
  ~CurlTransfer() override;
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  // Sets an option that must hold; a refused one fails Start().
  template <typename Value>
  void Set(CURLoption option, Value value) {
    if (easy_ == nullptr || curl_easy_setopt(easy_, option, value) != CURLE_OK) refused_ = true;
  }
  void AddHeader(const std::string& line);
  void DiscardBody() { keep_body_ = false; }

  // Sends the request; false when it could not even be set up.
  bool Start();
  // Runs until the final answer's head is in (true) or the transfer has ended without it, for
  // at most the answer limit.
  bool WaitForHead(const InternetWaitHook& hook);

  const AnswerHead& answer() const override { return head_; }
  std::size_t TakeBody(char* buffer, std::size_t size) override;
  bool Drained(bool* failed) const override;
  bool WaitForBody(const InternetWaitHook& hook, Clock::time_point give_up_at) override;
  bool PassOver(std::int64_t bytes, const InternetWaitHook& hook,
                Clock::time_point give_up_at) override;
  void WaitForEnd(const InternetWaitHook& hook) override;
  void Abandon() override { End(CURLE_ABORTED_BY_CALLBACK); }

 private:
  void Resume();
  // Drives the transfer until ready() holds or it ends: a stall ends it, and so does the
  // caller's wait hook, which is called whenever the wait has lasted one more interval.
  template <typename Ready>
  void RunUntil(const InternetWaitHook& hook, Ready ready);
  void End(CURLcode result);

  static int OnConnected(void* self, char*, char*, int, int);
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
  void TakeHeaderLine(std::string_view line);
  std::size_t Receive(const char* data, std::size_t size);

  CURL* easy_;
  CURLM* multi_;
  curl_slist* headers_ = nullptr;
  bool refused_ = false;
  std::chrono::seconds stall_;
  std::chrono::seconds answer_limit_;
  bool added_ = false;
  bool connected_ = false;
  bool ended_ = false;
  CURLcode result_ = CURLE_OK;
  std::uint64_t bytes_seen_ = 0;

  bool expect_status_line_ = true;
  bool complete_head_ = false;
  bool final_head_ = false;
  bool has_location_ = false;
  AnswerHead head_;

  bool keep_body_ = true;
  bool paused_ = false;
  std::int64_t skip_ = 0;
  ReadAheadBuffer body_;
};

}  // namespace rariduze
