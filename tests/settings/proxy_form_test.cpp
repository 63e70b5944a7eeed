// What the proxy dialog does, without a toolkit: a real settings file, a dialog played by a
// fake view, and the boxes and settings it hands on recorded.
#include "settings/proxy_form.h"

#include <filesystem>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "tests/settings/fake_proxy_dialog.h"
#include "tests/settings/recording_settings_doubles.h"
#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

using testing::RecordingTarget;
using testing::RecordingUi;

class ProxyFormTest : public ::testing::Test {
 protected:
  testing::TestDir app{"proxy-form"};
  RecordingUi ui;
  RecordingTarget target;
  testing::FakeProxyDialog dialog;
  std::optional<ProxyForm> form;

  std::string SettingsPath() const { return app.File("proxy"); }
  // Opens the dialog: a fresh form that loads into the fake dialog.
  ProxyForm& Open() {
    form.emplace(app.path() + "/", FileSystem::Default(), ui, target);
    dialog = testing::FakeProxyDialog();
    form->Form_Load(dialog);
    return *form;
  }
};

TEST_F(ProxyFormTest, ShowsTheStoredSettingsAndOkWritesThemBackUnchanged) {
  testing::WriteFile(SettingsPath(), "10.0.0.1:8080\r\n1\r\n");
  Open();
  EXPECT_EQ(dialog.address, "10.0.0.1");
  EXPECT_EQ(dialog.port, "8080");
  EXPECT_TRUE(dialog.lan);
  form->cmdOk_Click();
  EXPECT_TRUE(dialog.closed);
  EXPECT_TRUE(form->saved());
  EXPECT_EQ(testing::ReadFile(SettingsPath()), "10.0.0.1:8080\r\n1\r\n");
  EXPECT_EQ(target.applied, 1);
  EXPECT_EQ(target.server, "10.0.0.1");
  EXPECT_EQ(target.port, 8080);
  EXPECT_EQ(target.usa_lan, true);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ProxyFormTest, LoadingOddFiles) {
  struct Case {
    const char* contents;
    const char* address;
    const char* port;
    bool checked;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"", "", "", false, {}},
      {"host:81\r\n", "host", "81", false, {}},
      {"proxyhost\r\n1\r\n", "proxyhost", "", true, {"9 Subscript out of range"}},
      {"a:1:2\r\n2\r\n", "a", "1", true, {}},
      {"a:1\r\n00\r\n", "a", "1", false, {}},
      {"a:1\r\nyes\r\n", "a", "1", false, {"13 Type mismatch"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.contents);
    testing::WriteFile(SettingsPath(), c.contents);
    ui.boxes.clear();
    Open();
    EXPECT_EQ(dialog.address, c.address);
    EXPECT_EQ(dialog.port, c.port);
    EXPECT_EQ(dialog.lan, c.checked);
    EXPECT_EQ(ui.boxes, c.boxes);
    EXPECT_FALSE(dialog.closed);
    EXPECT_EQ(target.applied, 0) << "opening applies nothing";
  }
}

TEST_F(ProxyFormTest, EmptyFileAndNothingTypedWritesAColonAndZero) {
  testing::WriteFile(SettingsPath(), "");
  Open().cmdOk_Click();
  EXPECT_EQ(testing::ReadFile(SettingsPath()), ":\r\n0\r\n");
  EXPECT_EQ(target.port, 0);
  EXPECT_EQ(target.server, "");
  EXPECT_EQ(target.usa_lan, false);
}

TEST_F(ProxyFormTest, FlagTwoIsCheckedAndWrittenBackAsOne) {
  testing::WriteFile(SettingsPath(), "h:1\r\n2\r\n");
  Open().cmdOk_Click();
  EXPECT_EQ(testing::ReadFile(SettingsPath()), "h:1\r\n1\r\n");
}

TEST_F(ProxyFormTest, WhatTheUserTypedIsSavedAndApplied) {
  testing::WriteFile(SettingsPath(), "h:1\r\n1\r\n");
  Open();
  dialog.address = "proxy.test";
  dialog.port = "3128";
  dialog.lan = false;
  form->cmdOk_Click();
  EXPECT_EQ(testing::ReadFile(SettingsPath()), "proxy.test:3128\r\n0\r\n");
  EXPECT_EQ(target.server, "proxy.test");
  EXPECT_EQ(target.port, 3128);
  EXPECT_EQ(target.usa_lan, false);
}

TEST_F(ProxyFormTest, PortBoxTakesDigitsAndBackspaceOnly) {
  for (char32_t key : {U'0', U'5', U'9', char32_t{8}}) {
    EXPECT_TRUE(ProxyForm::AcceptsPortKey(key)) << static_cast<int>(key);
  }
  for (char32_t key : {U'a', U'-', U' ', U'.', U':', U'/', char32_t{127}, char32_t{13},
                       U'\u0663' /* an Arabic-Indic three */, U'\uFF11' /* a full-width one */}) {
    EXPECT_FALSE(ProxyForm::AcceptsPortKey(key)) << static_cast<int>(key);
  }
  EXPECT_TRUE(ProxyForm::IsPortText(""));
  EXPECT_TRUE(ProxyForm::IsPortText("8080"));
  for (const char* pasted : {"12x", " 80", "80 ", "-1", "1e5", "\xD9\xA3", "8\n0"}) {
    EXPECT_FALSE(ProxyForm::IsPortText(pasted)) << pasted;
  }
}

TEST_F(ProxyFormTest, CloseBoxSavesAndAppliesLikeOkAndOnlyOnce) {
  testing::WriteFile(SettingsPath(), "");
  Open();
  dialog.address = "proxy.test";
  dialog.port = "3128";
  dialog.lan = true;
  EXPECT_TRUE(form->Form_QueryUnload());
  EXPECT_EQ(testing::ReadFile(SettingsPath()), "proxy.test:3128\r\n1\r\n");
  EXPECT_EQ(target.applied, 1);
  EXPECT_EQ(target.port, 3128);
  EXPECT_EQ(target.usa_lan, true);
  // A second close request of the same dialog saves nothing more.
  EXPECT_TRUE(form->Form_QueryUnload());
  EXPECT_EQ(target.applied, 1);
}

TEST_F(ProxyFormTest, MissingFileIsNotCreatedButTheSettingsStillApply) {
  Open();
  dialog.address = "h";
  form->cmdOk_Click();
  EXPECT_TRUE(dialog.closed);
  EXPECT_FALSE(testing::FileIsThere(SettingsPath()));
  EXPECT_EQ(target.server, "h");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ProxyFormTest, PortAboveTheRangeIsRefusedAndNothingIsSaved) {
  testing::WriteFile(SettingsPath(), "h:1\r\n1\r\n");
  Open();
  dialog.port = "40000";
  form->cmdOk_Click();
  EXPECT_FALSE(dialog.closed);
  EXPECT_EQ(dialog.port_selections, 1);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0], "The proxy port must be a number from 0 to 32767.");
  EXPECT_EQ(ui.styles[0], kStyleOkStop);
  EXPECT_EQ(testing::ReadFile(SettingsPath()), "h:1\r\n1\r\n");
  EXPECT_EQ(target.applied, 0);
  // The close box refuses the same way and keeps the dialog open.
  EXPECT_FALSE(form->Form_QueryUnload());
  EXPECT_EQ(dialog.port_selections, 2);
  EXPECT_EQ(target.applied, 0);
  EXPECT_FALSE(form->saved());

  dialog.port = "32767";
  form->cmdOk_Click();
  EXPECT_TRUE(dialog.closed);
  EXPECT_EQ(target.port, 32767);
  EXPECT_EQ(testing::ReadFile(SettingsPath()), "h:32767\r\n1\r\n");
}

// The port text may come from the file as it was: only the digits it starts with count, so a
// sign or an exponent never makes a number out of range.
TEST_F(ProxyFormTest, ThePortIsReadDigitByDigitFromTheStartOfItsText) {
  struct Case {
    const char* stored_port;
    bool refused;
    std::int16_t port;
  };
  for (const Case& c :
       {Case{"-99999", false, 0}, Case{"-1e999", false, 0}, Case{"8080x", false, 8080},
        Case{"1e3", false, 1}, Case{" 80", false, 0}, Case{"00032767", false, 32767},
        Case{"32768", true, 0}, Case{"99999999999999999999", true, 0}}) {
    SCOPED_TRACE(c.stored_port);
    testing::WriteFile(SettingsPath(), std::string("h:") + c.stored_port + "\r\n1\r\n");
    ui.boxes.clear();
    target = RecordingTarget();
    Open();
    EXPECT_EQ(dialog.port, c.stored_port);
    form->cmdOk_Click();
    if (c.refused) {
      EXPECT_EQ(ui.boxes,
                std::vector<std::string>{"The proxy port must be a number from 0 to 32767."});
      EXPECT_EQ(target.applied, 0);
      EXPECT_FALSE(dialog.closed);
    } else {
      EXPECT_TRUE(ui.boxes.empty());
      EXPECT_EQ(target.applied, 1);
      EXPECT_EQ(target.port, c.port);
      EXPECT_TRUE(dialog.closed);
    }
  }
}

TEST_F(ProxyFormTest, SettingsThatCannotBeSavedAreSaidSoAndStillApplied) {
  // A folder where the file should be: it exists, but cannot be replaced by a file.
  std::filesystem::create_directories(SettingsPath() + "/inside");
  Open();
  ui.boxes.clear();
  dialog.address = "h";
  dialog.port = "81";
  form->cmdOk_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].rfind("The settings could not be saved: ", 0), 0u) << ui.boxes[0];
  EXPECT_EQ(ui.styles[0], kStyleOkStop);
  EXPECT_TRUE(dialog.closed);
  EXPECT_EQ(target.server, "h");
  EXPECT_EQ(target.port, 81);
  EXPECT_TRUE(std::filesystem::is_directory(SettingsPath() + "/inside"));
}

}  // namespace
}  // namespace rariduze
