// The Windows updater under Wine, on a desktop of the test's own, worked as a person would:
// windows found by their titles, focused, then keys typed and buttons clicked; what the windows
// show is read off the screen. Pictures of the window in its states go to the build tree for a
// person to look at. The program is a copy made of the built updater's objects, but for its
// update directory: the test's server.
#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/host.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"
#include "tests/support/wine_desktop.h"

namespace rariduze::testing {

using std::chrono::seconds;

constexpr const char* kMainTitle = "ZT --> Check update Availability ";
constexpr const char* kDemoTitle = "Zentri Computer demo";
// Wine starts slowly on a busy machine; a person would wait this long for a window too.
constexpr seconds kWindowWait{60};

// A stand-in for a downloaded file that takes a while at the throttled rate.
constexpr std::size_t kLargeArchiveSize = 3 * 1024 * 1024;

inline std::string BuildFile(const char* linux_path) { return PlatformPath(linux_path); }

inline const ScreenWindow* Visible(const std::vector<ScreenWindow>& windows,
                                   const std::string& title) {
  for (const ScreenWindow& window : windows) {
    if (window.visible && window.text == title) return &window;
  }
  return nullptr;
}

inline int CountVisible(const std::vector<ScreenWindow>& windows, const std::string& title) {
  return static_cast<int>(std::count_if(windows.begin(), windows.end(), [&](const auto& window) {
    return window.visible && window.text == title;
  }));
}

// The text of a message box: its static control that is not the icon.
inline std::string BoxText(const ScreenWindow& box) {
  for (const ScreenWindow& child : box.children) {
    if (child.class_name == "Static" && !child.text.empty()) return child.text;
  }
  return {};
}

class Win32UpdaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(desktop_.ready()) << desktop_.error();
    std::filesystem::copy_file(BuildFile(RARIDUZE_TEST_UPDATER), app_.File("RARiduze.exe"));
    std::filesystem::copy_file(BuildFile(RARIDUZE_TEST_UNZIP_LIBRARY), app_.File("vbuzip10.dll"));
    std::filesystem::copy_file(BuildFile(RARIDUZE_TEST_DEMO_APP), app_.File("Zentri Pc.exe"));
    WriteFile(app_.File("versionZT.dat"), "1.0.22\r\n");
    std::filesystem::create_directories(artifacts_);
  }

  // Serves www on a port of its own, which the test's copy of the program is told to take for
  // its update directory.
  void ServeUpdate(const std::string& server_config = {}) {
    NginxOptions options;
    options.root = www_.path();
    options.server_config = server_config;
    nginx_ = std::make_unique<NginxServer>(options);
  }

  void PublishVersion(const std::string& version) {
    WriteFile(www_.File("versionZT.dat"), version + "\r\n");
  }

  // A setup archive holding installer as "setupZT.exe".
  void PublishSetup(const std::string& installer) {
    TestDir packing("w32-pack");
    std::filesystem::copy_file(installer, packing.File("setupZT.exe"));
    ProgramRun zip = RunProgram(
        {"zip", "-q", "-X", "-j", www_.File("setupZT.zip"), packing.File("setupZT.exe")});
    ASSERT_EQ(zip.exit_status, 0) << zip.errors;
  }

  // An archive too large to arrive before the test has acted, when served slowly.
  void PublishLargeSetup() { WriteFile(www_.File("setupZT.zip"), Pattern(kLargeArchiveSize)); }

  void StartUpdater(std::vector<std::string> environment = {}, bool wait_for_window = true) {
    environment.push_back("TEMP=" + temp_folder_);
    environment.push_back("TMP=" + temp_folder_);
    if (nginx_) environment.push_back("RARIDUZE_TEST_UPDATE_URL=" + nginx_->Url("/"));
    ASSERT_TRUE(desktop_.Start(app_.File("RARiduze.exe"), environment));
    if (!wait_for_window) return;
    ASSERT_TRUE(desktop_.WaitForWindow(kMainTitle, kWindowWait)) << "the window did not appear";
  }

  std::vector<ScreenWindow> Screen() { return desktop_.Windows(); }

  ScreenWindow Main() {
    const std::vector<ScreenWindow> windows = Screen();
    const ScreenWindow* main = Visible(windows, kMainTitle);
    return main != nullptr ? *main : ScreenWindow{};
  }

  // Clicks a control of a window, found by its caption.
  void Click(const std::string& title, const std::string& caption) {
    const std::vector<ScreenWindow> windows = Screen();
    const ScreenWindow* window = Visible(windows, title);
    ASSERT_NE(window, nullptr) << title;
    const ScreenWindow* control = window->Child(caption);
    ASSERT_NE(control, nullptr) << caption;
    ASSERT_TRUE(desktop_.FocusAndClick(title, control->CentreX(), control->CentreY()));
  }

  // Waits for a message box with this title and returns what it says.
  std::string WaitForBox(const std::string& title) {
    std::optional<ScreenWindow> box = desktop_.WaitForWindow(title, kWindowWait);
    if (box) return BoxText(*box);
    // What is on the screen instead tells why.
    std::string shown = "(no box titled " + title + "; shown:";
    for (const ScreenWindow& window : Screen()) {
      if (!window.visible) continue;
      shown += " [" + window.text;
      for (const ScreenWindow& child : window.children) {
        if (!child.text.empty()) shown += " | " + child.text;
      }
      shown += "]";
    }
    return shown + ")";
  }

  bool WaitForMain(const std::function<bool(const ScreenWindow&)>& check,
                   seconds limit = kWindowWait) {
    return desktop_.WaitUntil(
        [&](const std::vector<ScreenWindow>& windows) {
          const ScreenWindow* main = Visible(windows, kMainTitle);
          return main != nullptr && check(*main);
        },
        limit);
  }

  // The updater has ended with status 0 and the demo application is up, once.
  void ExpectEndedAndDemoStartedOnce() {
    std::optional<int> status = desktop_.WaitForExit(kWindowWait);
    ASSERT_TRUE(status.has_value()) << "the updater did not end";
    EXPECT_EQ(*status, 0);
    // Wine's own desktop process (explorer.exe) may be among them.
    const std::vector<std::string> left = desktop_.ProgramsLeft();
    EXPECT_EQ(std::count(left.begin(), left.end(), "Zentri Pc.exe"), 1)
        << ::testing::PrintToString(left);
    ASSERT_TRUE(desktop_.WaitForWindow(kDemoTitle, kWindowWait)) << "the demo did not start";
    EXPECT_EQ(CountVisible(Screen(), kMainTitle), 0);
  }

  // The line of nginx's access log that starts with request, once it is there.
  std::string WaitForLogLine(const std::string& request) {
    const auto deadline = std::chrono::steady_clock::now() + kWindowWait;
    do {
      const std::string log = nginx_->AccessLog();
      const std::size_t at = log.find(request);
      if (at != std::string::npos && log.find('\n', at) != std::string::npos) {
        return log.substr(at, log.find('\n', at) - at);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline);
    return {};
  }

  void Picture(const std::string& name) {
    EXPECT_TRUE(desktop_.Screenshot(artifacts_ + "\\" + name + ".png"));
  }

  // Polls until the file holds something.
  bool Filled(const std::string& file, seconds limit = kWindowWait) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (ReadFile(file).empty()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
  }

  // Everything under the updater's temporary folder, by relative path, sorted.
  std::vector<std::string> TempEntries() {
    std::vector<std::string> entries;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(Utf8Path(temp_folder_))) {
      const std::u8string name =
          entry.path().lexically_relative(Utf8Path(temp_folder_)).generic_u8string();
      entries.emplace_back(name.begin(), name.end());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
  }

  WineDesktop desktop_;
  TestDir app_{"w32-app"};
  TestDir temp_{"w32-temp"};
  std::string temp_folder_ = temp_.path();  // the updater's temporary folder
  TestDir www_{"w32-www"};
  std::unique_ptr<NginxServer> nginx_;
  std::string artifacts_ = PlatformPath(RARIDUZE_TEST_ARTIFACTS_DIR);
};

}  // namespace rariduze::testing
