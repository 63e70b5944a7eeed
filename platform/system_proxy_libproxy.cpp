// The desktop's proxy settings through libproxy, whose plugins read the environment, GNOME's
// and KDE's settings and run PAC scripts. A lookup can take as long as fetching a script from
// the network, so one worker thread owns the library and answers lookups in turn while the
// caller waits in slices with its wait hook. The worker is never joined: a lookup stuck inside
// the library must not hold the program's exit. The library loads its script engine when it
// starts, whether a script is named or not (a quarter of a second and 6 MiB here), so it is
// started only where some setting could name a proxy at all.

#include <proxy.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/system_proxy.h"

namespace rariduze {
namespace {

struct Lookup {
  std::string url;
  std::promise<std::optional<std::string>> answer;
};

// State shared with the worker, kept alive by it for as long as it runs.
struct Queue {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<std::shared_ptr<Lookup>> lookups;
};

void Work(const std::shared_ptr<Queue>& queue) {
  pxProxyFactory* factory = px_proxy_factory_new();
  for (;;) {
    std::shared_ptr<Lookup> lookup;
    {
      std::unique_lock lock(queue->mutex);
      queue->ready.wait(lock, [&] { return !queue->lookups.empty(); });
      lookup = std::move(queue->lookups.front());
      queue->lookups.pop_front();
    }
    std::optional<std::string> proxy;
    if (factory != nullptr) {
      char** answer = px_proxy_factory_get_proxies(factory, lookup->url.c_str());
      if (answer != nullptr) {
        proxy = ProxyForCurl(answer);
        px_proxy_factory_free_proxies(answer);
      }
    }
    lookup->answer.set_value(std::move(proxy));
  }
}

// False only where the library would answer "direct" for every address: no desktop session
// whose settings it reads, none of the proxy variables it follows, no system-wide proxy file.
// In doubt (any of them present), the library decides.
bool SomeSettingMayNameAProxy() {
  for (const char* name :
       {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
        "DESKTOP_SESSION", "GNOME_DESKTOP_SESSION_ID", "KDE_FULL_SESSION", "XDG_CURRENT_DESKTOP"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  struct stat file {};
  return ::stat("/etc/sysconfig/proxy", &file) == 0;
}

class LibproxySettings : public SystemProxy {
 public:
  LibproxySettings() : queue_(std::make_shared<Queue>()) {}

  std::optional<std::string> ProxyFor(const std::string& url, std::chrono::milliseconds limit,
                                      const InternetWaitHook& hook) override {
    if (!SomeSettingMayNameAProxy()) return std::string();
    std::call_once(started_, [this] { std::thread([queue = queue_] { Work(queue); }).detach(); });
    auto lookup = std::make_shared<Lookup>();
    lookup->url = url;
    std::future<std::optional<std::string>> answer = lookup->answer.get_future();
    {
      std::lock_guard lock(queue_->mutex);
      queue_->lookups.push_back(std::move(lookup));
    }
    queue_->ready.notify_one();

    const auto give_up_at = std::chrono::steady_clock::now() + limit;
    const std::chrono::milliseconds slice(kWaitHookIntervalMs);
    for (;;) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= give_up_at) return std::string();  // too slow: straight to the server
      const auto wait = std::min<std::chrono::steady_clock::duration>(slice, give_up_at - now);
      if (answer.wait_for(wait) == std::future_status::ready) {
        // No usable answer (no settings at all, or only kinds libcurl cannot use): direct.
        return answer.get().value_or(std::string());
      }
      if (hook && !InternetWaitHook(hook)()) return std::nullopt;
    }
  }

 private:
  std::shared_ptr<Queue> queue_;
  std::once_flag started_;
};

}  // namespace

std::optional<std::string> ProxyForCurl(const char* const* answer) {
  for (; answer != nullptr && *answer != nullptr; ++answer) {
    const std::string_view proxy = *answer;
    if (proxy == "direct://") return std::string();
    if (proxy.starts_with("socks://")) return "socks5://" + std::string(proxy.substr(8));
    for (std::string_view scheme :
         {"http://", "https://", "socks4://", "socks4a://", "socks5://", "socks5h://"}) {
      if (proxy.starts_with(scheme) && proxy.size() > scheme.size()) return std::string(proxy);
    }
  }
  return std::nullopt;
}

SystemProxy& DesktopProxySettings() {
  // A forked child has no worker thread, and the parent's may have held the queue's lock at
  // the fork: the child starts its own and leaves the parent's alone.
  static std::mutex mutex;
  static LibproxySettings* settings = nullptr;
  static pid_t owner = 0;
  std::lock_guard lock(mutex);
  if (settings == nullptr || owner != ::getpid()) {
    settings = new LibproxySettings();  // lives as long as its worker, to the process's end
    owner = ::getpid();
  }
  return *settings;
}

}  // namespace rariduze
