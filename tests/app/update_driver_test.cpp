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
      // Part of the archive is in its file, which the download holds open.
      if (view.stop_enabled && view.bar().Value() > 0) driver.cmdEsci_Click();
    };
    driver.cmdVerifica_Click();
  });
  // The half-downloaded archive is not installed, and goes with the run's folder although the
  // download still had it open (Windows deletes no open file).
  EXPECT_THAT(system.events, ElementsAre("start " + fixture.ServedAppPath(), "end 0"));
  EXPECT_FALSE(std::filesystem::exists(Utf8Path(fixture.TempFolder())));
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

}  // namespace
}  // namespace rariduze::testing
