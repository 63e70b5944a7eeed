// The Windows updater under Wine, on a desktop of the test's own, worked as a person would:
// windows found by their titles, focused, then keys typed and buttons clicked; what the windows
// show is read off the screen. The update is served by nginx on loopback, installed by the demo
// installer and followed by the demo application, all built for Windows. Pictures of the
// window in its states go to the build tree for a person to look at. The program is a copy made
// of the built updater's objects, but for its update directory: the test's server.
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
namespace {

using std::chrono::seconds;

constexpr const char* kMainTitle = "ZT --> Check update Availability ";
constexpr const char* kDemoTitle = "Zentri Computer demo";
// Wine starts slowly on a busy machine; a person would wait this long for a window too.
constexpr seconds kWindowWait{60};

// A stand-in for a downloaded file that takes a while at the throttled rate.
constexpr std::size_t kLargeArchiveSize = 3 * 1024 * 1024;

std::string BuildFile(const char* linux_path) { return PlatformPath(linux_path); }

const ScreenWindow* Visible(const std::vector<ScreenWindow>& windows, const std::string& title) {
  for (const ScreenWindow& window : windows) {
    if (window.visible && window.text == title) return &window;
  }
  return nullptr;
}

int CountVisible(const std::vector<ScreenWindow>& windows, const std::string& title) {
  return static_cast<int>(std::count_if(windows.begin(), windows.end(), [&](const auto& window) {
    return window.visible && window.text == title;
  }));
}

// The text of a message box: its static control that is not the icon.
std::string BoxText(const ScreenWindow& box) {
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

TEST_F(Win32UpdaterTest, TheWindowShowsItsButtonsAndExitEndsTheProgram) {
  // A file named like the version file, there before the run, is not this run's: it stays.
  WriteFile(temp_.File("ZTVersion"), "1.0.23\r\n");
  StartUpdater();
  ScreenWindow main = Main();
  const ScreenWindow* check = main.Child("Check for New version");
  const ScreenWindow* stop = main.Child("Stop Download");
  const ScreenWindow* exit = main.Child("Exit");
  const ScreenWindow* bar = main.ChildOfClass("RARiduzeProgressBar");
  ASSERT_TRUE(check && stop && exit && bar);
  EXPECT_TRUE(check->enabled);
  EXPECT_FALSE(stop->enabled);
  EXPECT_TRUE(exit->enabled);
  EXPECT_TRUE(check->focused);
  EXPECT_EQ(bar->text, "0 %");
  // The designer's twips at the screen's 96 dpi: 15 twips to the pixel, side by side, the bar
  // the whole width below them.
  EXPECT_EQ(check->right - check->left, 121);
  EXPECT_EQ(check->bottom - check->top, 100);
  EXPECT_EQ(exit->right - exit->left, 115);
  EXPECT_EQ(stop->left - check->left, 120);
  EXPECT_EQ(exit->left - stop->left, 120);
  EXPECT_EQ(bar->right - bar->left, 370);
  EXPECT_EQ(bar->bottom - bar->top, 16);
  EXPECT_EQ(bar->top - check->top, 101);
  Picture("main-window-idle");

  // Tab runs "Check for New version", "Exit", then back: "Stop Download" is disabled.
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"Tab"}));
  EXPECT_TRUE(
      WaitForMain([](const ScreenWindow& m) { return m.Child("Exit")->focused; }, seconds(10)));

  Click(kMainTitle, "Exit");
  ExpectEndedAndDemoStartedOnce();
  EXPECT_EQ(TempEntries(), std::vector<std::string>{"ZTVersion"});
}

TEST_F(Win32UpdaterTest, TheProxyDialogShowsAnAddressInAnyScript) {
  WriteFile(app_.File("proxy"), "pr\xc3\xb8xy.\xe4\xbe\x8b:3128\r\n0\r\n");
  StartUpdater({}, false);
  // Without a LAN the updater wants a dial-up connection, which this machine has not: it says
  // so before its window shows.
  EXPECT_EQ(WaitForBox("RARiduze"), "You must initiate a dial-up connection");
  ASSERT_TRUE(desktop_.FocusAndType("RARiduze", {"Return"}));
  ASSERT_TRUE(desktop_.WaitForWindow(kMainTitle, kWindowWait));
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"F10", "Return"}));
  std::optional<ScreenWindow> dialog = desktop_.WaitForWindow("Set proxy options", kWindowWait);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->ChildOfClass("Edit", 0)->text, "pr\xc3\xb8xy.\xe4\xbe\x8b");
  EXPECT_EQ(dialog->ChildOfClass("Edit", 1)->text, "3128");
  EXPECT_FALSE(dialog->ChildOfClass("Button", 1)->checked);
  // OK writes back what it showed.
  ASSERT_TRUE(desktop_.FocusAndType("Set proxy options", {"Return"}));
  ASSERT_TRUE(desktop_.WaitForWindowGone("Set proxy options", kWindowWait));
  EXPECT_EQ(ReadFile(app_.File("proxy")), "pr\xc3\xb8xy.\xe4\xbe\x8b:3128\r\n0\r\n");
}

TEST_F(Win32UpdaterTest, TheCloseBoxEndsTheProgramLikeExit) {
  StartUpdater();
  // Alt+F4 is the window menu's Close, as the close box.
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"alt+F4"}));
  ExpectEndedAndDemoStartedOnce();
  // The settings file is made at startup when it is missing.
  EXPECT_TRUE(FileIsThere(app_.File("proxy")));
  EXPECT_EQ(ReadFile(app_.File("proxy")), "");
}

TEST_F(Win32UpdaterTest, VersionShowsTheProgramsVersionInABox) {
  StartUpdater();
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"F10", "Right", "Return"}));
  EXPECT_EQ(WaitForBox("RARiduze"), RARIDUZE_TEST_SHOWN_VERSION);
  // The box keeps the window from taking input while it is up.
  EXPECT_FALSE(Main().enabled);
  Picture("version-box");
  ASSERT_TRUE(desktop_.FocusAndType("RARiduze", {"Return"}));
  EXPECT_TRUE(desktop_.WaitForWindowGone("RARiduze", kWindowWait));
  EXPECT_TRUE(WaitForMain([](const ScreenWindow& m) { return m.enabled; }));
  EXPECT_TRUE(desktop_.ProgramRunning());
}

TEST_F(Win32UpdaterTest, TheProxyDialogSavesWhatIsTypedAndRefusesAPortAbove32767) {
  StartUpdater();
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"F10", "Return"}));
  std::optional<ScreenWindow> dialog = desktop_.WaitForWindow("Set proxy options", kWindowWait);
  ASSERT_TRUE(dialog);
  for (const char* label : {"Address:", "Port:", "Set the proxy", "<--", "OK",
                            "Check this Box If your Pc is connected through a LAN Gateway"}) {
    EXPECT_NE(dialog->Child(label), nullptr) << label;
  }
  EXPECT_TRUE(dialog->Child("OK")->focused);
  EXPECT_FALSE(Main().enabled);

  // OK, then the address, then the port: letters typed into the port box are dropped.
  const std::string title = "Set proxy options";
  ASSERT_TRUE(desktop_.FocusAndType(title, {"Tab"}));
  ASSERT_TRUE(desktop_.FocusAndTypeText(title, "proxy.example"));
  ASSERT_TRUE(desktop_.FocusAndType(title, {"Tab"}));
  ASSERT_TRUE(desktop_.FocusAndTypeText(title, "80a8x0"));
  // Pasting text that is not a number changes nothing: copy the address, paste it here.
  ASSERT_TRUE(desktop_.FocusAndType(
      title, {"shift+Tab", "ctrl+a", "ctrl+c", "Tab", "End", "ctrl+v", "Tab", "space"}));
  ASSERT_TRUE(desktop_.WaitUntil(
      [&](const std::vector<ScreenWindow>& windows) {
        const ScreenWindow* shown = Visible(windows, title);
        return shown != nullptr && shown->ChildOfClass("Edit", 1)->text == "8080" &&
               shown->ChildOfClass("Button", 1)->checked;
      },
      seconds(20)))
      << "port box: " << Visible(Screen(), title)->ChildOfClass("Edit", 1)->text;
  EXPECT_EQ(Visible(Screen(), title)->ChildOfClass("Edit", 0)->text, "proxy.example");
  Picture("proxy-dialog");

  // The close box saves and applies like OK.
  ASSERT_TRUE(desktop_.FocusAndType(title, {"alt+F4"}));
  ASSERT_TRUE(desktop_.WaitForWindowGone(title, kWindowWait));
  EXPECT_EQ(ReadFile(app_.File("proxy")), "proxy.example:8080\r\n1\r\n");
  EXPECT_TRUE(WaitForMain([](const ScreenWindow& m) { return m.enabled; }));

  // Opened again, it shows what was saved; a port above 32767 is refused and nothing is saved.
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"F10", "Return"}));
  dialog = desktop_.WaitForWindow(title, kWindowWait);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->ChildOfClass("Edit", 0)->text, "proxy.example");
  EXPECT_EQ(dialog->ChildOfClass("Edit", 1)->text, "8080");
  EXPECT_TRUE(dialog->ChildOfClass("Button", 1)->checked);
  ASSERT_TRUE(desktop_.FocusAndType(title, {"Tab", "Tab", "ctrl+a"}));
  ASSERT_TRUE(desktop_.FocusAndTypeText(title, "99999"));
  ASSERT_TRUE(desktop_.FocusAndType(title, {"Return"}));
  EXPECT_EQ(WaitForBox("RARiduze"), "The proxy port must be a number from 0 to 32767.");
  ASSERT_TRUE(desktop_.FocusAndType("RARiduze", {"Return"}));
  ASSERT_TRUE(desktop_.WaitForWindowGone("RARiduze", kWindowWait));
  EXPECT_TRUE(Visible(Screen(), title)) << "the dialog closed on a refused port";
  EXPECT_EQ(ReadFile(app_.File("proxy")), "proxy.example:8080\r\n1\r\n");
}

TEST_F(Win32UpdaterTest, ACheckWithoutAVersionFileStallsOnItsBusyCaption) {
  ServeUpdate();
  StartUpdater();
  Click(kMainTitle, "Check for New version");
  ASSERT_TRUE(
      WaitForMain([](const ScreenWindow& m) { return m.Child("Wait a moment...") != nullptr; }));
  Picture("main-window-stalled");
  // Later clicks are ignored: the caption stays, no box opens and the server is not asked
  // again. The proxy dialog, asked for after the click, shows that the window has taken it.
  Click(kMainTitle, "Wait a moment...");
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"F10", "Return"}));
  ASSERT_TRUE(desktop_.WaitForWindow("Set proxy options", kWindowWait));
  const std::vector<ScreenWindow> windows = Screen();
  ASSERT_NE(Visible(windows, kMainTitle), nullptr);
  EXPECT_NE(Visible(windows, kMainTitle)->Child("Wait a moment..."), nullptr);
  EXPECT_EQ(Visible(windows, "RARiduze"), nullptr);
  const std::string log = nginx_->AccessLogSynced();
  EXPECT_EQ(log.find("HEAD /versionZT.dat"), log.rfind("HEAD /versionZT.dat")) << log;
}

TEST_F(Win32UpdaterTest, ANewerVersionAnsweredYesIsInstalledAndTheApplicationStarted) {
  ServeUpdate();
  PublishVersion("1.0.23");
  PublishSetup(BuildFile(RARIDUZE_TEST_DEMO_SETUP));
  StartUpdater();
  Click(kMainTitle, "Check for New version");
  EXPECT_EQ(WaitForBox("Update available"),
            "1.0.23 version of Zentri PC is available for the download\r"
            "Would you like to download and install the new version?");
  Picture("update-available");
  ASSERT_TRUE(desktop_.FocusAndType("Update available", {"y"}));
  EXPECT_EQ(WaitForBox("RARiduze"), "Update successfully completed! It will be started Zentri PC");
  // The installer was waited for: the new version is in place before the box.
  EXPECT_EQ(ReadFile(app_.File("versionZT.dat")), "1.0.23\r\n");
  EXPECT_EQ(Main().ChildOfClass("RARiduzeProgressBar")->text, "100 %");
  Picture("update-installed");
  // The box came up after the installer had the foreground, and took it: the keyboard answers
  // it without a click.
  ASSERT_TRUE(desktop_.Type({"Return"}));
  ExpectEndedAndDemoStartedOnce();
  EXPECT_EQ(TempEntries(), std::vector<std::string>{});
}

TEST_F(Win32UpdaterTest, AnUpdateIsInstalledFromATemporaryFolderNamedInAnyScript) {
  // Latin, Cyrillic and Chinese letters together, which no 8-bit code page holds: the archive
  // reaches the unzip library and is extracted only because the program's manifest makes UTF-8
  // its ANSI code page, which Wine honours as Windows does.
  temp_folder_ = temp_.File("temp \xC3\xA9t\xC3\xA9 \xD0\x96 \xE4\xB8\xAD");
  std::filesystem::create_directories(Utf8Path(temp_folder_));
  ServeUpdate();
  PublishVersion("1.0.23");
  PublishSetup(BuildFile(RARIDUZE_TEST_DEMO_SETUP));
  StartUpdater();
  Click(kMainTitle, "Check for New version");
  ASSERT_NE(WaitForBox("Update available").find("1.0.23 version"), std::string::npos);
  ASSERT_TRUE(desktop_.FocusAndType("Update available", {"y"}));
  EXPECT_EQ(WaitForBox("RARiduze"), "Update successfully completed! It will be started Zentri PC");
  EXPECT_EQ(ReadFile(app_.File("versionZT.dat")), "1.0.23\r\n");
  ASSERT_TRUE(desktop_.FocusAndType("RARiduze", {"Return"}));
  ExpectEndedAndDemoStartedOnce();
  EXPECT_EQ(TempEntries(), std::vector<std::string>{});
}

TEST_F(Win32UpdaterTest, ANewerVersionAnsweredNoLeavesTheWindowIdle) {
  ServeUpdate();
  PublishVersion("1.0.23");
  StartUpdater();
  Click(kMainTitle, "Check for New version");
  ASSERT_NE(WaitForBox("Update available").find("1.0.23 version"), std::string::npos);
  ASSERT_TRUE(desktop_.FocusAndType("Update available", {"n"}));
  ASSERT_TRUE(desktop_.WaitForWindowGone("Update available", kWindowWait));
  EXPECT_TRUE(WaitForMain([](const ScreenWindow& m) {
    const ScreenWindow* check = m.Child("Check for New version");
    return m.enabled && check != nullptr && check->enabled && !m.Child("Stop Download")->enabled;
  }));
  EXPECT_TRUE(desktop_.ProgramRunning());
  for (const std::string& entry : TempEntries()) {
    EXPECT_EQ(entry.find("setupZT"), std::string::npos) << entry;
  }
}

TEST_F(Win32UpdaterTest, TheSameVersionIsSaidAndTheProgramEnds) {
  ServeUpdate();
  PublishVersion("1.0.22");
  StartUpdater();
  Click(kMainTitle, "Check for New version");
  EXPECT_EQ(WaitForBox("You have already the new version"),
            "There are not available new versions of Zentri PC!");
  ASSERT_TRUE(desktop_.FocusAndType("You have already the new version", {"Return"}));
  ExpectEndedAndDemoStartedOnce();
  EXPECT_EQ(TempEntries(), std::vector<std::string>{});
}

TEST_F(Win32UpdaterTest, StopDownloadDuringASlowDownloadEmptiesTheBar) {
  ServeUpdate("limit_rate 64k;");
  PublishVersion("1.0.23");
  PublishLargeSetup();
  StartUpdater();
  Click(kMainTitle, "Check for New version");
  ASSERT_NE(WaitForBox("Update available").find("1.0.23"), std::string::npos);
  ASSERT_TRUE(desktop_.FocusAndType("Update available", {"y"}));
  // Downloading: "Stop Download" takes clicks, the bar moves, the window answers.
  ASSERT_TRUE(WaitForMain([](const ScreenWindow& m) {
    const ScreenWindow* bar = m.ChildOfClass("RARiduzeProgressBar");
    return m.Child("Stop Download")->enabled && bar->text != "0 %" && bar->text != "100 %";
  }));
  Picture("main-window-downloading");
  Click(kMainTitle, "Stop Download");
  // The download has stopped once the updater has let go of the connection: nginx then logs
  // the request, with only part of the archive sent, and no progress can follow.
  const std::string request = WaitForLogLine("GET /setupZT.zip ");
  std::istringstream fields(request);
  std::string method, path, version, status;
  std::size_t sent = 0;
  ASSERT_TRUE(fields >> method >> path >> version >> status >> sent) << request;
  EXPECT_LT(sent, kLargeArchiveSize);
  const ScreenWindow later = Main();
  EXPECT_NE(later.ChildOfClass("RARiduzeProgressBar")->text, "100 %");
  // Stopped: both buttons stay as they were.
  EXPECT_FALSE(later.Child("Check for New version")->enabled);
  EXPECT_TRUE(later.Child("Stop Download")->enabled);
  EXPECT_TRUE(desktop_.ProgramRunning());
  Picture("main-window-stopped");
}

TEST_F(Win32UpdaterTest, ExitDuringADownloadEndsTheProgram) {
  ServeUpdate("limit_rate 64k;");
  PublishVersion("1.0.23");
  PublishLargeSetup();
  StartUpdater();
  Click(kMainTitle, "Check for New version");
  ASSERT_NE(WaitForBox("Update available").find("1.0.23"), std::string::npos);
  ASSERT_TRUE(desktop_.FocusAndType("Update available", {"y"}));
  ASSERT_TRUE(WaitForMain([](const ScreenWindow& m) { return m.Child("Stop Download")->enabled; }));
  Click(kMainTitle, "Exit");
  ExpectEndedAndDemoStartedOnce();
  EXPECT_EQ(TempEntries(), std::vector<std::string>{});
}

TEST_F(Win32UpdaterTest, AFailingInstallerIsReportedAndTheWindowReturnsToIdle) {
  ServeUpdate();
  PublishVersion("1.0.23");
  PublishSetup(BuildFile(RARIDUZE_TEST_STAND_IN));
  StartUpdater({"RARIDUZE_STAND_IN_EXIT=3"});
  Click(kMainTitle, "Check for New version");
  ASSERT_NE(WaitForBox("Update available").find("1.0.23"), std::string::npos);
  ASSERT_TRUE(desktop_.FocusAndType("Update available", {"y"}));
  EXPECT_EQ(WaitForBox("RARiduze"),
            "The update could not be installed: the installer ended with exit status 3.");
  Picture("install-failed");
  ASSERT_TRUE(desktop_.FocusAndType("RARiduze", {"Return"}));
  EXPECT_TRUE(WaitForMain([](const ScreenWindow& m) {
    const ScreenWindow* check = m.Child("Check for New version");
    return m.enabled && check != nullptr && check->enabled && !m.Child("Stop Download")->enabled;
  }));
  EXPECT_EQ(ReadFile(app_.File("versionZT.dat")), "1.0.22\r\n");
  EXPECT_TRUE(desktop_.ProgramRunning());
}

// While the installer runs, the window answers what other programs send it (an installer that
// tells every window of a change of settings waits for each one's answer), but not the user: a
// click on "Exit" and an Alt+F4 then are dropped, not carried out once the installer has ended.
TEST_F(Win32UpdaterTest, DuringTheInstallationTheWindowAnswersOtherProgramsButNotTheUser) {
  TestDir marks("w32-marks");
  const std::string installer_ran = marks.File("ran");
  const std::string installer_may_end = marks.File("end");
  ServeUpdate();
  PublishVersion("1.0.23");
  PublishSetup(BuildFile(RARIDUZE_TEST_STAND_IN));
  StartUpdater({"RARIDUZE_STAND_IN_BROADCAST=1", "RARIDUZE_STAND_IN_MARK=" + installer_ran,
                "RARIDUZE_STAND_IN_WAIT_FOR=" + installer_may_end, "RARIDUZE_STAND_IN_EXIT=3"});
  Click(kMainTitle, "Check for New version");
  ASSERT_NE(WaitForBox("Update available").find("1.0.23"), std::string::npos);
  ASSERT_TRUE(desktop_.FocusAndType("Update available", {"y"}));
  // The installer marks its run once every window has answered its broadcast.
  ASSERT_TRUE(Filled(installer_ran)) << "the installer's broadcast was not answered";

  Click(kMainTitle, "Exit");
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"alt+F4"}));
  WriteFile(installer_may_end, "now");
  EXPECT_EQ(WaitForBox("RARiduze"),
            "The update could not be installed: the installer ended with exit status 3.");
  ASSERT_TRUE(desktop_.FocusAndType("RARiduze", {"Return"}));
  EXPECT_TRUE(WaitForMain([](const ScreenWindow& m) {
    const ScreenWindow* check = m.Child("Check for New version");
    return m.enabled && check != nullptr && check->enabled;
  }));
  EXPECT_TRUE(desktop_.ProgramRunning());
}

}  // namespace
}  // namespace rariduze::testing
