// The Windows updater under Wine, worked as a person would: the update sequences, served by
// nginx on loopback, installed by the demo installer and followed by the demo application.
#include "tests/app/win32_updater_fixture.h"

namespace rariduze::testing {
namespace {

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
