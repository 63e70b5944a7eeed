// The driver's startup, its settings file, the proxy dialog it opens and the version box.
#include "app/update_driver.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "tests/app/update_driver_fixture.h"
#include "tests/app/updater_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_responder.h"
#include "tests/support/test_dir.h"
#include "unzip/unzip_binding.h"

namespace rariduze::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

// --- startup, the settings file and the menu ------------------------------------------------

TEST_F(UpdateDriverTest, StartupReadsTheSettingsFile) {
  struct Case {
    const char* contents;  // nullptr: no file
    bool usa_lan;
    std::vector<std::string> boxes;
    std::string proxy_server;
    int proxy_port;
  };
  const Case cases[] = {
      {nullptr, true, {}, "", 8080},
      {"", true, {}, "", 8080},
      {"10.0.0.1:3128\r\n", true, {}, "10.0.0.1", 3128},
      {"10.0.0.1:3128\r\n1\r\n", true, {}, "10.0.0.1", 3128},
      {":\r\n1\r\n", true, {}, "", 8080},
      {"00\r\n00\r\n", true, {"9 Subscript out of range"}, "00", 8080},
      {"proxyhost\r\n1\r\n", true, {"9 Subscript out of range"}, "proxyhost", 8080},
      {"host:abc\r\n1\r\n", true, {"13 Type mismatch"}, "host", 8080},
      {"host:99999\r\n1\r\n", true, {"6 Overflow"}, "host", 8080},
      {":\r\n0\r\n", false, {"You must initiate a dial-up connection"}, "", 8080},
      // Only a flag of exactly "0" asks for a dial-up connection.
      {":\r\n00\r\n", true, {}, "", 8080},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.contents == nullptr ? "(no file)" : c.contents);
    std::remove((fixture.AppDir() + "proxy").c_str());
    if (c.contents != nullptr) fixture.WriteSettings(c.contents);
    ui.boxes.clear();
    auto driver = LoadedDriver();
    EXPECT_EQ(driver->UsaLan, c.usa_lan);
    std::vector<std::string> texts;
    for (const ShownBox& box : ui.boxes) texts.push_back(box.text);
    EXPECT_EQ(texts, c.boxes);
    EXPECT_EQ(driver->IntF().ProxyServer(), c.proxy_server);
    EXPECT_EQ(driver->IntF().ProxyPort(), c.proxy_port);
    // A missing file is created empty; an existing one is left as it was.
    EXPECT_EQ(ReadFile(fixture.AppDir() + "proxy"), c.contents == nullptr ? "" : c.contents);
  }
}

TEST_F(UpdateDriverTest, WithoutLanAndDialUpACheckAsksTheServerAndThenDoesNothing) {
  fixture.WriteSettings(":\r\n0\r\n");
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  auto driver = LoadedDriver();
  ui.boxes.clear();
  driver->cmdVerifica_Click();
  EXPECT_THAT(ui.boxes, IsEmpty());
  EXPECT_TRUE(view.IsIdle());
  // nginx logs a request just after answering it.
  EXPECT_TRUE(WaitUntil([&] { return LogHas("HEAD /versionZT.dat"); }));
  EXPECT_FALSE(LogHas("GET /versionZT.dat"));
}

TEST_F(UpdateDriverTest, ProxyMenuOpensTheDialogWhoseOkReachesTheDriverButNoRequest) {
  fixture.WriteSettings("old:1\r\n1\r\n");
  fixture.Serve();
  auto driver = LoadedDriver();
  // A proxy nothing listens on: a request that went through it would never reach nginx.
  const std::string dead_port = std::to_string(FreeLoopbackPort(32768));
  FakeProxyDialog dialog;
  view.on_proxy_dialog = [&](ProxyForm& form) {
    form.Form_Load(dialog);
    EXPECT_EQ(dialog.address, "old");
    EXPECT_EQ(dialog.port, "1");
    EXPECT_TRUE(dialog.lan);
    dialog.address = "127.0.0.1";
    dialog.port = dead_port;
    dialog.lan = false;
    form.cmdOk_Click();
  };
  driver->mnuproxy_Click();

  EXPECT_EQ(view.proxy_dialogs_shown, 1);
  EXPECT_TRUE(dialog.closed);
  EXPECT_EQ(ReadFile(fixture.AppDir() + "proxy"), "127.0.0.1:" + dead_port + "\r\n0\r\n");
  EXPECT_EQ(driver->IntF().ProxyServer(), "127.0.0.1");
  EXPECT_EQ(driver->IntF().ProxyPort(), std::stoi(dead_port));
  EXPECT_FALSE(driver->UsaLan);

  // The window's own requests still follow the platform's settings, not this proxy. Without a
  // LAN the check stops after asking, having found no dial-up connection.
  driver->cmdVerifica_Click();
  EXPECT_TRUE(WaitUntil([&] { return LogHas("HEAD /versionZT.dat"); }));
  EXPECT_THAT(ui.boxes, IsEmpty());
}

TEST_F(UpdateDriverTest, EachOpeningOfTheDialogStartsFromTheFile) {
  fixture.WriteSettings("a:1\r\n1\r\n");
  fixture.Serve();
  auto driver = LoadedDriver();
  std::vector<std::string> addresses;
  view.on_proxy_dialog = [&](ProxyForm& form) {
    FakeProxyDialog dialog;
    form.Form_Load(dialog);
    addresses.push_back(dialog.address);
    dialog.address = "b";
    EXPECT_TRUE(form.Form_QueryUnload());  // the close box saves like OK
  };
  driver->mnuproxy_Click();
  driver->mnuproxy_Click();
  EXPECT_THAT(addresses, ElementsAre("a", "b"));
  EXPECT_EQ(driver->IntF().ProxyServer(), "b");
}

// "Version" shows major.minor and the fourth field of the build's version, the revision.
TEST_F(UpdateDriverTest, VersionMenuShowsTheBuildsVersion) {
  auto driver = MakeDriver(fixture.Setup("http://127.0.0.1:9/v", "http://127.0.0.1:9/s"));
  driver->mnuversion_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, RARIDUZE_TEST_SHOWN_VERSION);
  EXPECT_EQ(ui.boxes[0].style, kStyleOk);
  EXPECT_EQ(ui.boxes[0].title, "RARiduze");
}

}  // namespace
}  // namespace rariduze::testing
