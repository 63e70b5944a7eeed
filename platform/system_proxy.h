#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/internet.h"

namespace rariduze {

// The proxy that the desktop's settings name for one address: the environment's http_proxy
// family, GNOME's or KDE's settings, a PAC script or WPAD, as far as the machine supports them.
class SystemProxy {
 public:
  virtual ~SystemProxy() = default;

  // The proxy for url as libcurl takes it ("http://host:port", "socks5://host:port"), or ""
  // for a direct connection. A lookup may fetch and run a script, so it runs aside: the caller
  // waits at most limit, calling hook at least every kWaitHookIntervalMs, and a lookup that
  // takes longer gives a direct connection. Nothing when the hook abandoned the wait.
  virtual std::optional<std::string> ProxyFor(const std::string& url,
                                              std::chrono::milliseconds limit,
                                              const InternetWaitHook& hook) = 0;
};

// The desktop's settings, read afresh for every lookup.
SystemProxy& DesktopProxySettings();

// The first entry of a lookup's answer that libcurl can use, in libcurl's words: "" for
// "direct://", the address itself for http, https and socks proxies ("socks://" being
// socks5). Nothing when no entry is usable.
std::optional<std::string> ProxyForCurl(const char* const* answer);

}  // namespace rariduze
