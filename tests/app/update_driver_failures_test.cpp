// What goes wrong on the road of an update, told as it is: a damaged archive, an installer
// that fails or cannot start, a library that cannot be loaded, a version file that is none, a
// download that cannot be saved, a server that reports no size. The window comes back idle.
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

}  // namespace
}  // namespace rariduze::testing
