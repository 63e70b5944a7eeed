// The internet operations over the platform's internet API (WinInet), wide-character calls
// only: the session and the request setup. The worker that carries a request out is
// wininet_exchange.cpp; the handles and positioning are internet_handles.cpp.

#include "platform/windows_api.h"
// After the Win32 headers, which it needs.
#include <wininet.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/header_text.h"
#include "platform/internet_exchange.h"
#include "platform/wide_text_windows.h"
#include "platform/wininet_exchange.h"
#include "platform/wininet_url.h"

namespace rariduze {
namespace {

// A proxy text the API can use: "server:port", both given. The API would quietly go direct
// past any other.
bool ProxyIsUsable(const std::string& proxy) {
  std::optional<std::pair<std::string, std::uint16_t>> parts = SplitHostPort(proxy);
  return parts && parts->second != 0 && HostIsPlain(parts->first);
}

class WinInetBackend : public InternetBackend {
 public:
  explicit WinInetBackend(InternetOptions options) : options_(std::move(options)) {}

  std::shared_ptr<InternetSession> OpenSession(const std::string& agent, InternetAccess access,
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
        if (!ProxyIsUsable(proxy)) return nullptr;
        type = INTERNET_OPEN_TYPE_PROXY;
        break;
    }
    const std::wstring wide_agent = Widen(agent);
    const std::wstring wide_proxy = Widen(proxy);
    auto session = std::make_shared<WinInetSession>();
    session->internet = ::InternetOpenW(
        wide_agent.c_str(), type, access == InternetAccess::kProxy ? wide_proxy.c_str() : nullptr,
        nullptr, 0);
    if (session->internet == nullptr) return nullptr;
    DWORD connect_ms = static_cast<DWORD>(options_.limits.connect_seconds * 1000);
    ::InternetSetOptionW(session->internet, INTERNET_OPTION_CONNECT_TIMEOUT, &connect_ms,
                         sizeof connect_ms);
    return session;
  }

  std::shared_ptr<InternetExchange> Ask(const std::shared_ptr<InternetSession>& session,
                                        const RequestPlan& request,
                                        const InternetWaitHook& hook) override {
    std::optional<Target> target = CrackUrl(Widen(request.url));
    if (!target) return nullptr;
    WinInetPlan plan;
    plan.target = std::move(*target);
    plan.limits = options_.limits;
    // Certificates are checked against the system's store only: a caller that names
    // authorities of its own gets no https rather than a check other than the one asked for.
    plan.secure_allowed = options_.ca_file.empty();
    plan.verb = Widen(request.verb);
    plan.version = request.http10 ? L"HTTP/1.0" : L"HTTP/1.1";
    plan.keep_body = request.keep_body;
    if (request.from > 0) {
      plan.headers = L"Range: bytes=" + std::to_wstring(request.from) + L"-\r\n";
      if (request.validator)
        plan.headers += L"If-Range: " + HeaderText(*request.validator) + L"\r\n";
    }
    if (request.reload) {
      // No cache on the way (a proxy's included) may answer in the server's place.
      plan.headers += L"Cache-Control: no-cache\r\nPragma: no-cache\r\n";
    }
    if (!request.user.empty())
      plan.authorization = BasicAuthorization(request.user, request.password);

    std::shared_ptr<WinInetExchange> exchange =
        WinInetExchange::Start(std::static_pointer_cast<WinInetSession>(session), std::move(plan));
    if (exchange == nullptr) return nullptr;
    if (!exchange->WaitForAnswer(hook,
                                 InternetExchange::Clock::now() + AnswerLimit(options_.limits))) {
      exchange->Abandon();
      return nullptr;
    }
    return exchange;
  }

 private:
  InternetOptions options_;
};

}  // namespace

std::unique_ptr<InternetApi> CreateInternetApi(const InternetOptions& options) {
  InternetOptions clamped = options;
  clamped.limits = ClampedLimits(options.limits);
  return InternetApiOver(std::make_unique<WinInetBackend>(clamped), clamped.limits);
}

}  // namespace rariduze
