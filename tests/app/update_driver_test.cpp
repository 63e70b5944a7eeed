// The whole update sequence, driven as the window drives it, through a recording view,
// scripted message boxes and a scripted system, against a real nginx, the real unzip library
// and a real stand-in installer. No toolkit is involved, and every scenario runs in the test's
// own process, on every system: the end of the program comes back to the test as ProgramEnded.
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

// --- the road of an update -----------------------------------------------------------------

TEST_F(UpdateDriverTest, NewerVersionAndYesInstallsWaitsReportsAndRestarts) {
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetup(0);
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  ExpectProgramEndsAfter([](UpdateDriver& driver) { driver.cmdVerifica_Click(); });

  EXPECT_THAT(
      ui.boxes,
      ElementsAre(
          AllOf(Field(&ShownBox::text, kUpdateAvailable),
                Field(&ShownBox::style, kStyleYesNoInformation),
                Field(&ShownBox::title, "Update available")),
          AllOf(
              Field(&ShownBox::text, "Update successfully completed! It will be started Zentri PC"),
              Field(&ShownBox::style, kStyleOkInformation), Field(&ShownBox::title, "RARiduze"))));
  // The installer ran from the run's own temporary folder, with no arguments, and had ended
  // before the served application was started.
  const std::string installer = fixture.InstallerPath();
  EXPECT_THAT(system.events,
              ElementsAre("run " + installer, "start " + fixture.ServedAppPath(), "end 0"));
  EXPECT_THAT(fixture.InstallersThatRan(), ElementsAre(installer));
  EXPECT_TRUE(AllTemporaryFilesGone(fixture));
  EXPECT_EQ(view.ending, kIdleAtTheEnd);
}

// The unload takes away the run's own folder with all the extraction wrote; the user's files
// beside it stay, also one that an entry's name would become on a system that drops trailing
// dots ("victim." is refused on Windows, written as it is elsewhere).
TEST_F(UpdateDriverTest, WhatTheExtractionWroteGoesWithTheUnloadAndNothingElse) {
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetupWithEntries({{"readme.txt", "read me"},
                                   {"docs/manual.txt", "manual"},
                                   {"data/x/y.bin", "y"},
                                   {"victim.", "planted"}});
  fixture.Serve();
  const std::string temp = fixture.TempFolder();
  const std::string users = temp.substr(0, temp.size() - std::string("run/").size());
  WriteFile(users + "victim", "the user's");
  WriteFile(users + "readme.txt", "the user's too");
  ui.yes_no_answer = kAnswerYes;
  std::vector<std::string> there_before_the_unload;
  ui.on_box = [&](const ShownBox&) {
    for (const char* name : {"setupZT.exe", "readme.txt", "manual.txt", "y.bin"}) {
      if (FileIsThere(temp + name)) there_before_the_unload.push_back(name);
    }
  };
  auto driver = LoadedDriver();
  fixture.ExpectProcessEnds([&] {
    driver->cmdVerifica_Click();
    // Where the library refused an entry the update failed, and the user leaves.
    driver->cmdEsci_Click();
  });

  // Every file landed at the top of the folder, and went again.
  EXPECT_THAT(there_before_the_unload,
              ::testing::IsSupersetOf({"setupZT.exe", "readme.txt", "manual.txt", "y.bin"}));
  for (const char* name : {"setupZT.exe", "readme.txt", "manual.txt", "y.bin", "victim."}) {
    EXPECT_FALSE(FileIsThere(temp + name)) << name;
  }
  EXPECT_TRUE(system.run_dir_removed());
  EXPECT_EQ(ReadFile(users + "victim"), "the user's");
  EXPECT_EQ(ReadFile(users + "readme.txt"), "the user's too");
}

TEST_F(UpdateDriverTest, AfterAFailedInstallExitUnloadsWhatTheExtractionWrote) {
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetupWithEntries({{"readme.txt", "read me"}}, 4);
  fixture.Serve();
  const std::string temp = fixture.TempFolder();
  ui.yes_no_answer = kAnswerYes;
  auto driver = LoadedDriver();
  driver->cmdVerifica_Click();
  // The install failed and the window is idle: the extracted files are still there.
  ASSERT_TRUE(view.IsIdle());
  ASSERT_TRUE(FileIsThere(temp + "readme.txt"));
  fixture.ExpectProcessEnds([&] { driver->cmdEsci_Click(); });
  EXPECT_FALSE(FileIsThere(temp + "readme.txt"));
  EXPECT_FALSE(FileIsThere(temp + "setupZT.exe"));
}

TEST_F(UpdateDriverTest, EqualVersionSaysSoThenUnloads) {
  fixture.PublishVersion("1.0.22");
  fixture.Serve();
  ExpectProgramEndsAfter([](UpdateDriver& driver) { driver.cmdVerifica_Click(); });
  EXPECT_THAT(ui.boxes,
              ElementsAre(AllOf(
                  Field(&ShownBox::text, "There are not available new versions of Zentri PC!"),
                  Field(&ShownBox::style, kStyleOkInformation),
                  Field(&ShownBox::title, "You have already the new version"))));
  EXPECT_TRUE(AllTemporaryFilesGone(fixture));
  EXPECT_THAT(system.events, ElementsAre("start " + fixture.ServedAppPath(), "end 0"));
  EXPECT_EQ(view.ending, kIdleAtTheEnd);
}

// The served application is started at every exit, unless a window of it is open: the mark is
// looked for in every title, with its exact case.
TEST_F(UpdateDriverTest, ExitDeletesTemporaryFilesAndStartsTheServedApplicationUnlessItRuns) {
  struct Case {
    std::vector<std::string> titles;
    bool started;
  };
  const Case cases[] = {
      {{}, true},
      {{"Editor", "zentri computer", "ZENTRI COMPUTER"}, true},
      {{"Editor", "Zentri Computer"}, false},
      {{"Zentri Computer - report.pdf", "Editor"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.titles));
    UpdaterFixture run;
    ScriptedUi boxes;
    RecordingView window{boxes};
    const std::string temp = run.TempFolder();
    for (const char* name : {"ZTVersion", "setupZT.zip", "setupZT.exe"}) {
      WriteFile(temp + name, "left over");
    }
    run.system().window_titles = c.titles;
    // Nothing is asked of the server on the way out.
    UpdateDriver driver(
        window, boxes, run.internet(), FileSystem::Default(), run.system(),
        run.Setup("http://127.0.0.1:9/versionZT.dat", "http://127.0.0.1:9/setupZT.zip"));
    driver.Form_Load();
    run.ExpectProcessEnds([&] { driver.cmdEsci_Click(); });
    EXPECT_TRUE(AllTemporaryFilesGone(run));
    EXPECT_EQ(run.system().ProgramsStarted(), c.started
                                                  ? std::vector<std::string>{run.ServedAppPath()}
                                                  : std::vector<std::string>{});
    EXPECT_THAT(boxes.boxes, IsEmpty());
    EXPECT_EQ(window.ending, kIdleAtTheEnd);
  }
}

TEST_F(UpdateDriverTest, ExitDuringTheSetupDownloadEndsTheProgramFromInsideTheTransfer) {
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetupWorthStopping();
  ui.yes_no_answer = kAnswerYes;
  ExpectProgramEndsAfter([this](UpdateDriver& driver) {
    ui.on_yield = [&] {
      if (view.stop_enabled) driver.cmdEsci_Click();
    };
    driver.cmdVerifica_Click();
  });
  // The half-downloaded archive is not installed. (The archive itself may outlive the
  // unload where a file still open by the download cannot be deleted.)
  EXPECT_THAT(system.events, ElementsAre("start " + fixture.ServedAppPath(), "end 0"));
  EXPECT_FALSE(FileIsThere(fixture.TempFolder() + "ZTVersion"));
  EXPECT_EQ(view.ending,
            "ending: caption \"Check for New version\", check disabled, stop enabled\n");
}

// A server that sends the archive's headers and then nothing: "Exit" reaches the driver from a
// yield inside the wait, long before the 5 s without a byte that these tests allow.
TEST_F(UpdateDriverTest, ExitWhileTheServerIsSilentEndsTheProgramFromInsideTheWait) {
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  LoopbackResponder silent;
  const std::string headers = "HTTP/1.1 200 OK\r\nContent-Length: 400000\r\n\r\n";
  silent.Enqueue(Reply().Send(headers));
  silent.Enqueue(Reply().Send(headers).Hold());
  ui.yes_no_answer = kAnswerYes;
  auto driver =
      MakeDriver(fixture.Setup(fixture.server().Url("/versionZT.dat"), silent.Url("/setupZT.zip")));
  driver->Form_Load();
  std::optional<std::chrono::steady_clock::time_point> stop_enabled_at;
  std::chrono::steady_clock::duration waited{};
  ui.on_yield = [&] {
    if (!view.stop_enabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (!stop_enabled_at) stop_enabled_at = now;
    // By then only the wait yields: the server has had the download's request.
    if (now - *stop_enabled_at < std::chrono::seconds(1)) return;
    waited = now - *stop_enabled_at;
    driver->cmdEsci_Click();
  };
  fixture.ExpectProcessEnds([&] { driver->cmdVerifica_Click(); });
  // A yield this late would have come from the end of the stall, not from the wait.
  EXPECT_LT(waited, std::chrono::seconds(4));
  EXPECT_THAT(system.ProgramsStarted(), ElementsAre(fixture.ServedAppPath()));
}

TEST_F(UpdateDriverTest, NoToTheQuestionLeavesTheWindowIdleForANewCheck) {
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  auto driver = LoadedDriver();
  ui.yes_no_answer = kAnswerNo;
  driver->cmdVerifica_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, kUpdateAvailable);
  EXPECT_TRUE(view.IsIdle());
  EXPECT_THAT(view.captions_shown, ElementsAre(kCheckCaption, kBusyCaption, kCheckCaption));

  // A new check asks the server again and asks the user again.
  ASSERT_TRUE(WaitUntil([&] { return LogHas("GET /versionZT.dat"); }));
  const std::size_t requests = fixture.server().AccessLog().size();
  driver->cmdVerifica_Click();
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_TRUE(WaitUntil([&] { return fixture.server().AccessLog().size() > requests; }));
  EXPECT_TRUE(view.IsIdle());
}

TEST_F(UpdateDriverTest, MissingVersionFileStallsTheCheckAndLaterClicksAreIgnored) {
  fixture.Serve();
  auto driver = LoadedDriver();
  driver->cmdVerifica_Click();
  EXPECT_EQ(view.check_caption, kBusyCaption);
  EXPECT_TRUE(view.check_enabled);
  EXPECT_FALSE(view.stop_enabled);
  const std::string log = fixture.server().AccessLogSynced();
  ASSERT_NE(log.find("HEAD /versionZT.dat"), std::string::npos) << log;
  driver->cmdVerifica_Click();
  driver->cmdVerifica_Click();
  EXPECT_EQ(fixture.server().AccessLogSynced(), log) << "a stalled check must not ask again";
  EXPECT_THAT(ui.boxes, IsEmpty());
  EXPECT_EQ(view.check_caption, kBusyCaption);
}

TEST_F(UpdateDriverTest, MissingSetupArchiveAfterYesLeavesTheWindowIdleWithoutAMessage) {
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  auto driver = LoadedDriver();
  driver->cmdVerifica_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Update available");
  EXPECT_TRUE(view.IsIdle());
  EXPECT_THAT(system.events, IsEmpty());
}

TEST_F(UpdateDriverTest, StopDownloadCancelsTheSetupDownload) {
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetupWorthStopping();
  ui.yes_no_answer = kAnswerYes;
  auto driver = LoadedDriver();

  bool busy_seen = false;
  bool stop_disabled_while_checking = true;
  bool stopped = false;
  double value_before_setup = -1;
  std::size_t version_checks_before = 0;
  ui.on_yield = [&] {
    if (view.check_caption == kBusyCaption) {
      busy_seen = true;
      stop_disabled_while_checking = stop_disabled_while_checking && !view.stop_enabled;
    }
    if (!view.stop_enabled) return;
    // The bar still shows the version file until the first chunk of the archive arrives.
    if (value_before_setup < 0) {
      value_before_setup = view.bar().Value();
      // "Check for New version" is disabled now: a click on it starts nothing.
      version_checks_before = ui.boxes.size();
      EXPECT_FALSE(view.check_enabled);
      driver->cmdVerifica_Click();
    }
    // The first yield after a progress event of the archive: stop there, as a person would.
    if (!stopped && view.bar().Value() != value_before_setup) {
      stopped = true;
      driver->cmdStopDownload_Click();
    }
  };
  driver->cmdVerifica_Click();
  ui.on_yield = nullptr;

  ASSERT_TRUE(stopped);
  EXPECT_TRUE(busy_seen);
  EXPECT_TRUE(stop_disabled_while_checking) << "Stop Download was enabled during the check";
  EXPECT_EQ(ui.boxes.size(), version_checks_before) << "the disabled check button asked again";
  EXPECT_EQ(view.bar().Value(), 0);
  EXPECT_EQ(view.bar().Caption(), "0 %");
  EXPECT_FALSE(view.check_enabled);
  EXPECT_EQ(view.check_caption, kCheckCaption);
  EXPECT_TRUE(view.stop_enabled);
  EXPECT_THAT(system.events, IsEmpty()) << "the stopped download was installed";
  // Stopped: more clicks on "Stop Download" keep the bar at 0.
  driver->cmdStopDownload_Click();
  EXPECT_EQ(view.bar().Value(), 0);
  EXPECT_TRUE(view.stop_enabled);
}

TEST_F(UpdateDriverTest, BarFollowsTheDownloadAndEndsFull) {
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  ui.yes_no_answer = kAnswerNo;
  auto driver = LoadedDriver();
  driver->cmdVerifica_Click();
  // "1.0.23\r\n": the range is the announced size and the bar stands at its end.
  EXPECT_EQ(view.bar().Max(), 8);
  EXPECT_EQ(view.bar().Value(), 8);
  EXPECT_EQ(view.bar().Caption(), "100 %");
}

// --- failures the driver reports instead of claiming success --------------------------------

struct InstallFailure {
  const char* label;
  std::function<void(UpdaterFixture&)> publish;
  const char* message;
  // How the installer run ends, where the system's answer is scripted; empty: it really runs.
  std::function<ProcessOutcome(const std::string&)> installer = {};
};

class InstallFailureTest : public UpdateDriverTest,
                           public ::testing::WithParamInterface<InstallFailure> {};

TEST_P(InstallFailureTest, IsReportedAndTheWindowReturnsToIdle) {
  fixture.PublishVersion("1.0.23");
  GetParam().publish(fixture);
  fixture.Serve();
  system.run_program = GetParam().installer;
  ui.yes_no_answer = kAnswerYes;
  auto driver = LoadedDriver();
  driver->cmdVerifica_Click();

  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, GetParam().message);
  EXPECT_EQ(ui.boxes[1].style, kStyleOkStop);
  EXPECT_TRUE(view.IsIdle());
  // Nothing is started after a failure, and nothing more than once.
  EXPECT_THAT(system.ProgramsStarted(), IsEmpty());
  EXPECT_LE(system.ProgramsRun().size(), 1u);
}

ProcessOutcome NotStarted(const std::string&) {
  ProcessOutcome outcome;
  outcome.error = "the user did not allow it to make changes";
  return outcome;
}

INSTANTIATE_TEST_SUITE_P(
    Setup, InstallFailureTest,
    ::testing::Values(
        InstallFailure{"DamagedArchive",
                       [](UpdaterFixture& f) { f.PublishFile("setupZT.zip", "PK\3\4 not a zip"); },
                       "The update could not be installed: the setup archive could not be "
                       "extracted."},
        InstallFailure{"NoInstallerInTheArchive",
                       [](UpdaterFixture& f) { f.PublishSetupWithoutInstaller(); },
                       "The update could not be installed: the setup archive holds no "
                       "\"setupZT.exe\"."},
        InstallFailure{"InstallerFails", [](UpdaterFixture& f) { f.PublishSetup(4); },
                       "The update could not be installed: the installer ended with exit "
                       "status 4."},
        InstallFailure{"InstallerNotStarted", [](UpdaterFixture& f) { f.PublishSetup(); },
                       "The update could not be installed: the installer could not be started: "
                       "the user did not allow it to make changes.",
                       NotStarted}),
    [](const ::testing::TestParamInfo<InstallFailure>& info) { return info.param.label; });

TEST_F(UpdateDriverTest, FailedInstallerRanOnceAndTheServedApplicationWasNotStarted) {
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetup(4);
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  auto driver = LoadedDriver();
  driver->cmdVerifica_Click();
  EXPECT_THAT(fixture.InstallersThatRan(), ElementsAre(fixture.InstallerPath()));
  EXPECT_THAT(system.events, ElementsAre("run " + fixture.InstallerPath()));
}

// An installer that asks for a restart succeeded: the user is told, and when it has begun the
// restart itself, nothing is started into the shutdown.
TEST_F(UpdateDriverTest, RestartCodesOfTheInstallerAreSuccessesThatTheUserIsToldOf) {
  struct Case {
    const char* label;
    bool restart_needed;
    bool restart_initiated;
    std::string text;
    bool served_app_started;
  };
  const Case cases[] = {
      {"done", false, false, "Update successfully completed! It will be started Zentri PC", true},
      {"restart needed", true, false,
       "Update successfully completed! It will be started Zentri PC\r"
       "Restart the computer to complete the update.",
       true},
      {"restart begun", true, true,
       "Update successfully completed! The computer is restarting to complete it.", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    UpdaterFixture run;
    ScriptedUi boxes;
    RecordingView window{boxes};
    run.PublishVersion("1.0.23");
    run.PublishSetup();
    run.system().run_program = [&](const std::string&) {
      ProcessOutcome outcome;
      outcome.started = true;
      outcome.exit_status = c.restart_initiated ? 1641 : c.restart_needed ? 3010 : 0;
      outcome.restart_needed = c.restart_needed;
      outcome.restart_initiated = c.restart_initiated;
      return outcome;
    };
    boxes.yes_no_answer = kAnswerYes;
    UpdateDriver driver(window, boxes, run.internet(), FileSystem::Default(), run.system(),
                        run.Setup());
    driver.Form_Load();
    run.ExpectProcessEnds([&] { driver.cmdVerifica_Click(); });
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].text, c.text);
    EXPECT_EQ(boxes.boxes[1].style, kStyleOkInformation);
    EXPECT_EQ(run.system().ProgramsStarted().size(), c.served_app_started ? 1u : 0u);
    EXPECT_TRUE(AllTemporaryFilesGone(run));
  }
}

// A library that is missing or cannot be loaded is named, with the reason; the archive, which
// is fine, is not blamed.
TEST_F(UpdateDriverTest, AnUnzipLibraryThatCannotBeLoadedIsNamedNotTheArchive) {
  TestDir library_dir("library");
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetup();
  fixture.Serve();
  mUnzip::SetLibraryDirectory(library_dir.path());
  const std::string library = mUnzip::LibraryPath();
  const std::string prefix = "The update could not be installed: the unzip library \"" + library;
  for (const bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "damaged" : "missing");
    if (damaged) WriteFile(library, "not a library at all");
    ui.boxes.clear();
    ui.yes_no_answer = kAnswerYes;
    auto driver = LoadedDriver();
    driver->cmdVerifica_Click();
    ASSERT_EQ(ui.boxes.size(), 2u);
    const std::string& text = ui.boxes[1].text;
    EXPECT_EQ(
        text.rfind(damaged ? prefix + "\" could not be loaded: " : prefix + "\" is missing.", 0),
        0u)
        << text;
    EXPECT_EQ(ui.boxes[1].style, kStyleOkStop);
    EXPECT_TRUE(view.IsIdle());
    EXPECT_THAT(system.events, IsEmpty());
  }
}

class UnreadableVersionTest : public UpdateDriverTest,
                              public ::testing::WithParamInterface<const char*> {};

// Error pages and other text served in place of the version file: a digit in them ("2.0",
// "503") must not make a version of them, and "nothing newer" would be a lie.
TEST_P(UnreadableVersionTest, IsSaidSoAndNotTakenForNoNewerVersion) {
  fixture.PublishVersion(GetParam());
  fixture.Serve();
  auto driver = LoadedDriver();
  driver->cmdVerifica_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "The version information on the update server could not be read.");
  EXPECT_EQ(ui.boxes[0].style, kStyleOkInformation);
  EXPECT_TRUE(view.IsIdle());
}

INSTANTIATE_TEST_SUITE_P(ServedText, UnreadableVersionTest,
                         ::testing::Values("<html>error</html>",
                                           "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">",
                                           "Error 503", "1.0.23-beta", "v1.0.23"));

TEST_F(UpdateDriverTest, WithoutATemporaryFolderNothingIsAskedOrDownloaded) {
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  system.temp_dir_error = "it can be reached by other users";
  auto driver = LoadedDriver();
  driver->cmdVerifica_Click();
  EXPECT_THAT(ui.boxes, ElementsAre(AllOf(
                            Field(&ShownBox::text,
                                  "The private temporary folder could not be prepared: it can be "
                                  "reached by other users"),
                            Field(&ShownBox::style, kStyleOkStop))));
  EXPECT_TRUE(view.IsIdle());
  EXPECT_EQ(fixture.server().AccessLogSynced(), "");
}

TEST_F(UpdateDriverTest, DownloadThatCannotBeSavedIsReportedAndTheWindowReturnsToIdle) {
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  // A folder, with something in it, where the downloaded version file should go.
  std::filesystem::create_directories(fixture.TempFolder() + "ZTVersion/inside");
  auto driver = LoadedDriver();
  driver->cmdVerifica_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.rfind("The download could not be saved: ", 0), 0u) << ui.boxes[0].text;
  EXPECT_EQ(ui.boxes[0].style, kStyleOkStop);
  EXPECT_TRUE(view.IsIdle());
  EXPECT_TRUE(std::filesystem::is_directory(fixture.TempFolder() + "ZTVersion/inside"));
}

TEST_F(UpdateDriverTest, UnknownSizeRaisesNoBarErrorsAndEndsAtOneHundredPercent) {
  LoopbackResponder responder;
  // No Content-Length: the body ends when the connection closes.
  const std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
  responder.Enqueue(Reply().Send(head));                 // HEAD
  responder.Enqueue(Reply().Send(head + "1.0.23\r\n"));  // GET
  ui.yes_no_answer = kAnswerNo;
  auto driver =
      MakeDriver(fixture.Setup(responder.Url("/versionZT.dat"), responder.Url("/setupZT.zip")));
  driver->Form_Load();
  driver->cmdVerifica_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Update available") << ui.boxes[0].text;
  EXPECT_EQ(view.bar().Caption(), "100 %");
}

TEST_F(UpdateDriverTest, TheSetupDownloadStartsFromAnEmptyBarWhenNoSizeIsKnown) {
  LoopbackResponder responder;
  // No Content-Length: the body ends when the connection closes.
  const std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
  responder.Enqueue(Reply().Send(head));                 // HEAD versionZT.dat
  responder.Enqueue(Reply().Send(head + "1.0.23\r\n"));  // GET
  responder.Enqueue(Reply().Send(head));                 // HEAD setupZT.zip
  responder.Enqueue(
      Reply().Send(head).Trickle(std::string(4000, 'z'), 500, std::chrono::milliseconds(20)));
  ui.yes_no_answer = kAnswerYes;
  auto driver =
      MakeDriver(fixture.Setup(responder.Url("/versionZT.dat"), responder.Url("/setupZT.zip")));
  driver->Form_Load();
  std::vector<std::string> captions_while_downloading_setup;
  ui.on_yield = [&] {
    if (view.stop_enabled) captions_while_downloading_setup.push_back(view.bar().Caption());
  };
  driver->cmdVerifica_Click();
  ui.on_yield = nullptr;

  ASSERT_FALSE(captions_while_downloading_setup.empty());
  // Not the version file's 100 %; the bar fills only once the whole archive is in.
  for (const std::string& caption : captions_while_downloading_setup) {
    EXPECT_EQ(caption, "0 %");
  }
  ASSERT_EQ(ui.boxes.size(), 2u);  // the question, then the archive that is none
  EXPECT_EQ(ui.boxes[1].text,
            "The update could not be installed: the setup archive could not be extracted.");
}

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
