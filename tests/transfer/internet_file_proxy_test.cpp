// The transfer control's sessions through a proxy: the desktop's settings, a named proxy
// (real tinyproxy), and connect types that name none.
#include "tests/transfer/internet_file_download_fixture.h"

namespace rariduze::testing {
namespace {
class InternetFileProxyTest : public InternetFileDownloadTest {
 protected:
  bool ProxySaw(const std::string& request) const {
    return proxy_.Log().find(request + " HTTP/1.") != std::string::npos;
  }
  std::string Target() const { return nginx_->Url("/small.bin"); }

  TinyproxyServer proxy_;
};

TEST_F(InternetFileProxyTest, SystemSettingsNameTheProxy) {
  ScopedSystemProxy system_proxy(proxy_.Address());
  file_.SetConnectType(0);
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == small_);
  EXPECT_TRUE(ProxySaw("HEAD " + Target())) << proxy_.Log();
  EXPECT_TRUE(ProxySaw("GET " + Target())) << proxy_.Log();
}

TEST_F(InternetFileProxyTest, ConnectTypeOneGoesThroughTheNamedProxy) {
  file_.SetConnectType(1);
  file_.SetProxyServer("127.0.0.1");
  file_.SetProxyPort(static_cast<std::int16_t>(proxy_.port()));
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(internet_.last_proxy, proxy_.Address());
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_TRUE(ProxySaw("GET " + Target())) << proxy_.Log();
}

TEST_F(InternetFileProxyTest, SystemSettingsLeaveOutTheAddressesTheyExempt) {
  ScopedSystemProxy system_proxy(proxy_.Address(), "127.0.0.1");
  file_.SetConnectType(0);
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == small_);
  EXPECT_FALSE(ProxySaw("GET " + Target())) << proxy_.Log();
  EXPECT_NE(nginx_->AccessLogSynced().find("GET /small.bin HTTP/1.1 200"), std::string::npos);
}

TEST_F(InternetFileProxyTest, SystemSettingsWithoutAProxyGoStraightToTheServer) {
  ScopedEnv http_proxy("http_proxy", std::nullopt);
  ScopedEnv http_proxy_upper("HTTP_PROXY", std::nullopt);
  ScopedEnv all_proxy("all_proxy", std::nullopt);
  file_.SetConnectType(0);
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == small_);
  EXPECT_EQ(proxy_.Log().find(Target()), std::string::npos) << proxy_.Log();
}

TEST_F(InternetFileProxyTest, TheNamedProxyIsUsedEvenForAddressesThatNoProxyNames) {
  ScopedEnv no_proxy("no_proxy", "127.0.0.1,localhost");
  ScopedEnv no_proxy_upper("NO_PROXY", "127.0.0.1,localhost");
  file_.SetConnectType(1);
  file_.SetProxyServer("127.0.0.1");
  file_.SetProxyPort(static_cast<std::int16_t>(proxy_.port()));
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_TRUE(ProxySaw("HEAD " + Target())) << proxy_.Log();
  EXPECT_TRUE(ProxySaw("GET " + Target())) << proxy_.Log();
}

// The desktop's settings are looked up aside from the caller; a child forked after a lookup
// (a death test, or a program that forks) must find its own way to them, not wait in vain.
TEST_F(InternetFileProxyTest, AForkedChildLooksUpTheSystemSettingsAfresh) {
  file_.SetConnectType(0);
  Fetch("small.bin", dir_.File("got.bin"));
  ASSERT_EQ(events_.lines.back(), "complete");
  EXPECT_EXIT(
      {
        // The updater's own limits: a lookup that never came back would hold each request
        // for 20 s.
        std::unique_ptr<InternetApi> internet = CreateInternetApi();
        RecordingEvents events;
        InternetFile child(*internet, ui_, FileSystem::Default(), host_);
        child.SetEvents(&events);
        child.SetConnectType(0);
        child.SetUrl(Target());
        child.SetLocalFile(dir_.File("child.bin"));
        const auto started = std::chrono::steady_clock::now();
        child.StartDownload();
        const bool prompt = std::chrono::steady_clock::now() - started < std::chrono::seconds(10);
        std::exit(!events.lines.empty() && events.lines.back() == "complete" && prompt ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(InternetFileProxyTest, DirectIgnoresTheSystemProxy) {
  ScopedSystemProxy system_proxy(proxy_.Address());
  file_.SetConnectType(2);
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_FALSE(ProxySaw("GET " + Target())) << proxy_.Log();
}

TEST_F(InternetFileDownloadTest, AProxyWithoutAServerIsJustThePort) {
  file_.SetConnectType(1);
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(internet_.last_access, InternetAccess::kProxy);
  EXPECT_EQ(internet_.last_proxy, ":8080");
  EXPECT_EQ(events_.lines, Lines({"error Could not find Url"}));
}

TEST_F(InternetFileDownloadTest, AnUnknownConnectTypeOpensNoSessionUntilItIsMended) {
  file_.SetConnectType(5);
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines, Lines({"error Could not find Url"}));
  EXPECT_EQ(internet_.sessions_opened, 0);
  EXPECT_FALSE(FileIsThere(dir_.File("got.bin")));

  events_.lines.clear();
  file_.SetConnectType(2);
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_EQ(internet_.sessions_opened, 1);
}

}  // namespace
}  // namespace rariduze::testing
