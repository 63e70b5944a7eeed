// The desktop's answers as libcurl must be told them.
#include <gtest/gtest.h>

#include "platform/system_proxy.h"

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

}  // namespace
}  // namespace rariduze
