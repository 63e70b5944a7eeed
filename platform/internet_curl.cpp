// The internet operations over libcurl: the session's proxy choice and the request setup; the
// transfer itself is curl_transfer.cpp, the handles and positioning internet_handles.cpp.

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/curl_transfer.h"
#include "platform/internet_exchange.h"
#include "platform/system_proxy.h"

namespace rariduze {
namespace {

struct CurlSession : InternetSession {
  CurlSession(std::string agent, InternetAccess access, std::string proxy)
      : agent(std::move(agent)), access(access), proxy(std::move(proxy)) {}
  std::string agent;
  InternetAccess access;
  std::string proxy;  // with kProxy only
};

class CurlBackend : public InternetBackend {
 public:
  explicit CurlBackend(InternetOptions options) : options_(std::move(options)) {}

  std::shared_ptr<InternetSession> OpenSession(const std::string& agent, InternetAccess access,
                                               const std::string& proxy) override {
    // libcurl sets itself up (and its TLS library) for the first session, not when the
    // program starts: a run that never reaches the network does not pay for it.
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return std::make_shared<CurlSession>(agent, access,
                                         access == InternetAccess::kProxy ? proxy : std::string());
  }

  std::shared_ptr<InternetExchange> Ask(const std::shared_ptr<InternetSession>& session,
                                        const RequestPlan& plan,
                                        const InternetWaitHook& hook) override {
    const auto& settings = static_cast<const CurlSession&>(*session);
    std::optional<std::string> proxy = ProxyFor(settings, plan.url, hook);
    if (!proxy) return nullptr;  // the wait for the proxy lookup was abandoned
    auto transfer = std::make_shared<CurlTransfer>(plan.url, settings.agent, *proxy, options_);
    if (plan.verb == "HEAD") {
      transfer->Set(CURLOPT_NOBODY, 1L);
      // No body follows, so a Content-Length that is no number harms nothing: the header
      // block is still read and handed out as the server sent it.
      transfer->Set(CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    } else if (plan.verb != "GET") {
      transfer->Set(CURLOPT_CUSTOMREQUEST, plan.verb.c_str());
    }
    if (plan.http10) transfer->Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    if (plan.from > 0) {
      transfer->Set(CURLOPT_RANGE, (std::to_string(plan.from) + "-").c_str());
      if (plan.validator) transfer->AddHeader("If-Range: " + *plan.validator);
    }
    if (!plan.user.empty()) {
      // libcurl sends them to the address's own host only, not after a redirect elsewhere.
      transfer->Set(CURLOPT_USERNAME, plan.user.c_str());
      transfer->Set(CURLOPT_PASSWORD, plan.password.c_str());
    }
    if (plan.reload) {
      // No cache on the way (a proxy's included) may answer in the server's place.
      transfer->AddHeader("Cache-Control: no-cache");
      transfer->AddHeader("Pragma: no-cache");
    }
    if (!plan.keep_body) transfer->DiscardBody();
    if (!transfer->Start() || !transfer->WaitForHead(hook)) return nullptr;
    return transfer;
  }

 private:
  // The proxy for url by the session's settings ("" = direct); nothing when the wait for the
  // desktop's answer was abandoned.
  std::optional<std::string> ProxyFor(const CurlSession& session, const std::string& url,
                                      const InternetWaitHook& hook) {
    switch (session.access) {
      case InternetAccess::kProxy:
        return session.proxy;
      case InternetAccess::kPreconfigured:
        return DesktopProxySettings().ProxyFor(
            url, std::chrono::seconds(options_.limits.connect_seconds), hook);
      case InternetAccess::kDirect:
        break;
    }
    return std::string();
  }

  InternetOptions options_;
};

}  // namespace

std::unique_ptr<InternetApi> CreateInternetApi(const InternetOptions& options) {
  InternetOptions clamped = options;
  clamped.limits = ClampedLimits(options.limits);
  return InternetApiOver(std::make_unique<CurlBackend>(clamped), clamped.limits);
}

}  // namespace rariduze
