// The desktop's answers as libcurl must be told them, and what a lookup costs where no setting
// names a proxy.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/system_proxy.h"
#include "tests/support/host.h"
#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

std::optional<std::string> Answer(std::vector<const char*> entries) {
  entries.push_back(nullptr);
  return ProxyForCurl(entries.data());
}

TEST(ProxyForCurl, TakesTheFirstEntryLibcurlCanUse) {
  EXPECT_EQ(Answer({"direct://"}), "");
  EXPECT_EQ(Answer({"http://proxy.test:3128", "direct://"}), "http://proxy.test:3128");
  EXPECT_EQ(Answer({"socks://proxy.test:1080"}), "socks5://proxy.test:1080");
  EXPECT_EQ(Answer({"socks4://proxy.test:1080"}), "socks4://proxy.test:1080");
  // Kinds libcurl has no use for are passed over.
  EXPECT_EQ(Answer({"ftp://proxy.test:21", "http://"}), std::nullopt);
  EXPECT_EQ(Answer({"ftp://proxy.test:21", "direct://"}), "");
  EXPECT_EQ(Answer({}), std::nullopt);
  EXPECT_EQ(ProxyForCurl(nullptr), std::nullopt);
}

TEST(DesktopProxySettings, WithoutAnySettingAddressesGoDirectAndNoScriptEngineIsLoaded) {
  std::vector<std::unique_ptr<testing::ScopedEnv>> cleared;
  for (const char* name :
       {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
        "DESKTOP_SESSION", "GNOME_DESKTOP_SESSION_ID", "KDE_FULL_SESSION", "XDG_CURRENT_DESKTOP"}) {
    cleared.push_back(std::make_unique<testing::ScopedEnv>(name, std::nullopt));
  }
  EXPECT_EQ(DesktopProxySettings().ProxyFor("http://127.0.0.1:9/x", std::chrono::seconds(20), {}),
            "");
  // The library's plugins (a script engine among them) live in a folder of its own.
  EXPECT_EQ(testing::ReadFile("/proc/self/maps").find("/libproxy/"), std::string::npos);
}

}  // namespace
}  // namespace rariduze
