// "The system's settings" (connection type 0) on a Linux desktop: the proxy that the desktop
// names for each address, read by the real plugins from the environment, from GNOME's
// settings (kept here in a settings file of the test's own) and from a PAC script. Each case
// runs rariduze-fetch with that desktop's environment.

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/host.h"
#include "tests/support/loopback_responder.h"
#include "tests/support/nginx_server.h"
#include "tests/support/tinyproxy_server.h"
#include "tests/transfer/internet_file_fixture.h"

namespace rariduze::testing {
namespace {

class DesktopProxyTest : public ::testing::Test {
 protected:
  DesktopProxyTest() : body_(Pattern(5000, 6)) {
    WriteFile(www_.File("setupZT.zip"), body_);
    nginx_ = std::make_unique<NginxServer>(www_.path());
  }

  // A GNOME session whose settings are the keyfile given (GSettings' own format).
  void GnomeSettings(const std::string& keyfile) {
    std::filesystem::create_directories(config_.File("glib-2.0/settings"));
    WriteFile(config_.File("glib-2.0/settings/keyfile"), keyfile);
    desktop_.push_back(std::make_unique<ScopedEnv>("DESKTOP_SESSION", "gnome"));
    desktop_.push_back(std::make_unique<ScopedEnv>("GSETTINGS_BACKEND", "keyfile"));
    desktop_.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", config_.path()));
  }

  // Settings that send addresses to proxy, loopback ones included (GNOME leaves those out by
  // default).
  std::string ManualProxy() const {
    return "[system/proxy]\nmode='manual'\nignore-hosts=@as []\n\n[system/proxy/http]\n"
           "host='127.0.0.1'\nport=" +
           std::to_string(proxy_.port()) + "\n";
  }

  ProgramRun Fetch(std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {
        RARIDUZE_FETCH, "--connect-type", "0", "--connect-seconds", "2", "--stall-seconds", "2"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(Url());
    argv.push_back(dir_.File("got.zip"));
    return RunProgram(argv, std::chrono::seconds(30));
  }

  std::string Url() const { return nginx_->Url("/setupZT.zip"); }
  bool ProxySaw(const std::string& verb) const {
    return proxy_.Log().find(verb + " " + Url() + " HTTP/1.") != std::string::npos;
  }
  void ExpectDownloaded(const ProgramRun& run) {
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 0) << run.output << run.errors;
    EXPECT_TRUE(run.output.ends_with("\ncomplete\n")) << run.output;
    EXPECT_TRUE(ReadFile(dir_.File("got.zip")) == body_);
  }

  // No proxy from the environment of whoever runs the tests.
  std::vector<std::unique_ptr<ScopedEnv>> clean_ = [] {
    std::vector<std::unique_ptr<ScopedEnv>> unset;
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY", "DESKTOP_SESSION",
                             "GNOME_DESKTOP_SESSION_ID", "KDE_FULL_SESSION"}) {
      unset.push_back(std::make_unique<ScopedEnv>(name, std::nullopt));
    }
    return unset;
  }();
  std::vector<std::unique_ptr<ScopedEnv>> desktop_;
  TestDir www_{"www"};
  TestDir dir_{"desktop-proxy"};
  TestDir config_{"desktop-config"};
  std::string body_;
  std::unique_ptr<NginxServer> nginx_;
  TinyproxyServer proxy_;
};

TEST_F(DesktopProxyTest, WithoutSettingsTheServerIsAskedDirectly) {
  ExpectDownloaded(Fetch());
  EXPECT_FALSE(ProxySaw("GET")) << proxy_.Log();
  EXPECT_NE(nginx_->AccessLogSynced().find("GET /setupZT.zip HTTP/1.1 200"), std::string::npos);
}

TEST_F(DesktopProxyTest, TheEnvironmentsProxyIsFollowed) {
  ScopedEnv http_proxy("http_proxy", "http://" + proxy_.Address());
  ExpectDownloaded(Fetch());
  EXPECT_TRUE(ProxySaw("HEAD")) << proxy_.Log();
  EXPECT_TRUE(ProxySaw("GET")) << proxy_.Log();
}

TEST_F(DesktopProxyTest, GnomesManualProxyIsFollowed) {
  GnomeSettings(ManualProxy());
  ExpectDownloaded(Fetch());
  EXPECT_TRUE(ProxySaw("HEAD")) << proxy_.Log();
  EXPECT_TRUE(ProxySaw("GET")) << proxy_.Log();
}

TEST_F(DesktopProxyTest, GnomesHostsWithoutProxyAreAskedDirectly) {
  GnomeSettings(
      "[system/proxy]\nmode='manual'\nignore-hosts=['127.0.0.1']\n\n"
      "[system/proxy/http]\nhost='127.0.0.1'\nport=" +
      std::to_string(proxy_.port()) + "\n");
  ExpectDownloaded(Fetch());
  EXPECT_FALSE(ProxySaw("GET")) << proxy_.Log();
}

TEST_F(DesktopProxyTest, AProxyScriptNamedByGnomeDecides) {
  WriteFile(www_.File("proxy.pac"),
            "function FindProxyForURL(url, host) {\n"
            "  if (url.indexOf('/setupZT.zip') >= 0) return 'PROXY " +
                proxy_.Address() +
                "';\n"
                "  return 'DIRECT';\n"
                "}\n");
  GnomeSettings("[system/proxy]\nmode='auto'\nautoconfig-url='" + nginx_->Url("/proxy.pac") +
                "'\nignore-hosts=@as []\n");
  ExpectDownloaded(Fetch());
  EXPECT_TRUE(ProxySaw("GET")) << proxy_.Log();
}

// A script that never arrives holds neither the window nor the download for longer than the
// connect limit (2 s here): the request then goes to the server directly.
TEST_F(DesktopProxyTest, AProxyScriptThatNeverArrivesDoesNotHoldTheDownload) {
  LoopbackResponder silent;
  silent.SetDefault(Reply().Hold());
  GnomeSettings("[system/proxy]\nmode='auto'\nautoconfig-url='" + silent.Url("/proxy.pac") +
                "'\nignore-hosts=@as []\n");
  const auto started = std::chrono::steady_clock::now();
  ExpectDownloaded(Fetch());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  EXPECT_FALSE(ProxySaw("GET")) << proxy_.Log();

  // And a click on "Stop Download" ends that wait too.
  ProgramRun cancelled = Fetch({"--cancel-after", "0.5"});
  EXPECT_FALSE(cancelled.timed_out);
  EXPECT_EQ(cancelled.output, "info exists=0 size=-1 modified=Not Available\ncancelled 0\n");
}

}  // namespace
}  // namespace rariduze::testing
