// Signed updates when the user or the server acts at the worst moment: a Stop while a
// signature is awaited or after the archive's last byte, and a second updater at once.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>

#include <gmock/gmock.h>

#include "platform/internet.h"
#include "platform/system_paths.h"
#include "platform/system_services.h"
#include "signing/signature_format.h"
#include "tests/app/signed_update_fixture.h"
#include "tests/support/host.h"
#include "tests/support/loopback_responder.h"

namespace rariduze::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

// "Stop Download" while the archive's signature is awaited, from the server's answer to the
// information request or from its body, stops the update as it would during the archive
// itself: nothing is installed and no box is shown.
class StopDuringTheArchiveSignatureTest : public SignedUpdateTest,
                                          public ::testing::WithParamInterface<const char*> {};

TEST_P(StopDuringTheArchiveSignatureTest, StopsTheUpdate) {
  const std::string held_method = GetParam();
  PublishSignedUpdate();
  LoopbackResponder server;
  for (const char* name :
       {"versionZT.dat", "versionZT.dat.minisig", "setupZT.zip", "setupZT.zip.minisig"}) {
    const std::string bytes = ReadFile(fixture.PublishedPath(name));
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bytes.size()) +
                             "\r\nConnection: close\r\n\r\n";
    if (std::string(name) != "setupZT.zip.minisig") {
      server.Enqueue(Reply().Send(head));
      server.Enqueue(Reply().Send(head + bytes));
    } else if (held_method == "HEAD") {
      server.Enqueue(Reply().Hold());  // no answer at all
    } else {
      server.Enqueue(Reply().Send(head));
      server.Enqueue(Reply().Send(head).Hold());  // the headers, then silence
    }
  }
  ui.yes_no_answer = kAnswerYes;
  auto driver = KeyedDriver(fixture.Setup(server.Url("/versionZT.dat"), server.Url("/setupZT.zip")),
                            {publisher.key_line()});
  bool stopped = false;
  ui.on_yield = [&] {
    if (stopped || !view.stop_enabled) return;
    const std::vector<std::string> requests = server.Requests();
    if (!requests.empty() &&
        requests.back().rfind(held_method + " /setupZT.zip.minisig ", 0) == 0) {
      stopped = true;
      driver->cmdStopDownload_Click();
    }
  };
  driver->cmdVerifica_Click();
  ui.on_yield = nullptr;

  ASSERT_TRUE(stopped);
  EXPECT_THAT(ui.boxes, ElementsAre(Field(&ShownBox::text, kUpdateAvailable)));
  EXPECT_THAT(fixture.system().events, IsEmpty());
  EXPECT_FALSE(FileIsThere(fixture.InstallerPath()));
  EXPECT_FALSE(view.check_enabled);
  EXPECT_TRUE(view.stop_enabled);
  EXPECT_EQ(view.bar().Value(), 0);
}

INSTANTIATE_TEST_SUITE_P(Requests, StopDuringTheArchiveSignatureTest,
                         ::testing::Values("HEAD", "GET"));

// "Stop Download" clicked at each yield after the archive's last byte has arrived: the run
// either ends as stopped, or the click finds the download complete and is ignored. Either way
// the late click never fails the signature's request and passes for tampering.
TEST_F(SignedUpdateTest, AStopAfterTheArchivesLastByteIsNeverASignatureFault) {
  PublishSignedUpdate();
  fixture.Serve();
  const std::size_t archive_size = ReadFile(fixture.PublishedPath("setupZT.zip")).size();
  for (int late = 1; late <= 8; ++late) {
    SCOPED_TRACE("the click comes at yield " + std::to_string(late) + " after the last byte");
    UpdaterFixture run;
    ScriptedUi boxes;
    RecordingView window{boxes};
    run.PublishVersion("1.0.23");
    std::filesystem::copy_file(Utf8Path(fixture.PublishedPath("setupZT.zip")),
                               Utf8Path(run.PublishedPath("setupZT.zip")));
    for (const char* signature : {"versionZT.dat.minisig", "setupZT.zip.minisig"}) {
      WriteFile(run.PublishedPath(signature), ReadFile(fixture.PublishedPath(signature)));
    }
    WriteFile(run.PublishedPath("versionZT.dat"), ReadFile(fixture.PublishedPath("versionZT.dat")));
    boxes.yes_no_answer = kAnswerYes;
    UpdaterSetup setup = run.Setup();
    setup.publisher_keys = {publisher.key_line()};
    UpdateDriver driver(window, boxes, run.internet(), FileSystem::Default(), run.system(), setup);
    driver.Form_Load();
    int yields_after_the_last_byte = 0;
    boxes.on_yield = [&] {
      const bool archive_in = window.stop_enabled && window.bar().Max() == archive_size &&
                              window.bar().Value() == archive_size;
      if (archive_in && ++yields_after_the_last_byte == late) driver.cmdStopDownload_Click();
    };
    try {
      driver.cmdVerifica_Click();
    } catch (const ProgramEnded&) {
      // The click came too late to stop anything: the update went on to its end.
    }
    ASSERT_GE(yields_after_the_last_byte, late);
    for (const ShownBox& box : boxes.boxes) {
      EXPECT_EQ(box.text.find("signature"), std::string::npos) << box.text;
    }
    if (run.system().ended()) {
      EXPECT_EQ(boxes.boxes.back().text,
                "Update successfully completed! It will be started Zentri PC");
    } else {
      EXPECT_THAT(boxes.boxes, ElementsAre(Field(&ShownBox::text, kUpdateAvailable)));
      EXPECT_THAT(run.system().events, IsEmpty());
    }
  }
}

// The machine's own services for a run of their own, but for the end of the process, which
// comes back to the test.
class RunOfItsOwn : public SystemServices {
 public:
  std::optional<std::string> RunTempDirectory(std::string* error) override {
    return machine_->RunTempDirectory(error);
  }
  void RemoveRunTempDirectory() override { machine_->RemoveRunTempDirectory(); }
  std::optional<std::int64_t> FreeSpace(const std::string& folder) override {
    return machine_->FreeSpace(folder);
  }
  ProcessOutcome RunProgramAndWait(const std::string& path) override {
    return machine_->RunProgramAndWait(path);
  }
  bool StartDetachedProgram(const std::string&) override { return true; }
  void EnumerateTopLevelWindows(const std::function<bool(const std::string&)>&) override {}
  int CountActiveDialUpConnections() override { return 0; }
  [[noreturn]] void EndProcess(int exit_code) override { throw ProgramEnded(exit_code); }

 private:
  std::unique_ptr<SystemServices> machine_ = SystemServices::ForAnotherRun();
};

// Two updaters at once, with the machine's own temporary folders: the second one's download,
// of an archive the server has changed meanwhile, lands in a folder of its own and cannot
// change what the first has downloaded, verified and installs.
TEST_F(SignedUpdateTest, TwoUpdatersAtOnceNeverShareTheirDownloads) {
  PublishSignedUpdate();
  fixture.Serve();
  TestDir users_temp("users-temp");
  ScopedEnv tmpdir("TMPDIR", users_temp.path()), tmp("TMP", users_temp.path()),
      temp("TEMP", users_temp.path());
  RunOfItsOwn first_run;
  RunOfItsOwn second_run;
  std::string error;
  const std::string first_folder = first_run.RunTempDirectory(&error).value_or("");
  ASSERT_FALSE(first_folder.empty()) << error;
  const std::string users_private = PrivateTempDirectory(&error).value_or("");
  ASSERT_FALSE(users_private.empty()) << error;
  EXPECT_EQ(first_folder.rfind(users_private, 0), 0u) << first_folder;
  const std::size_t archive_size = ReadFile(fixture.PublishedPath("setupZT.zip")).size();

  UpdaterSetup setup = fixture.Setup();
  setup.publisher_keys = {publisher.key_line()};
  ui.yes_no_answer = kAnswerYes;
  UpdateDriver first(view, ui, fixture.internet(), FileSystem::Default(), first_run, setup);
  first.Form_Load();
  ScriptedUi second_ui;
  RecordingView second_view{second_ui};
  second_ui.yes_no_answer = kAnswerYes;
  std::unique_ptr<InternetApi> second_internet = CreateInternetApi();
  UpdateDriver second(second_view, second_ui, *second_internet, FileSystem::Default(), second_run,
                      setup);
  second.Form_Load();
  bool second_ran = false;
  ui.on_yield = [&] {
    const std::string archive = first_folder + "setupZT.zip";
    if (second_ran || !FileIsThere(archive) || ReadFile(archive).size() != archive_size) return;
    // The first has the archive whole: the server's copy changes, and the second updater
    // downloads that into its own folder.
    second_ran = true;
    fixture.PublishFile("setupZT.zip", "PK\3\4 not what the publisher signed");
    second.cmdVerifica_Click();
  };
  fixture.ExpectProcessEnds([&] { first.cmdVerifica_Click(); });

  ASSERT_TRUE(second_ran);
  EXPECT_NE(second_run.RunTempDirectory(&error), first_folder);
  EXPECT_THAT(second_ui.boxes, ElementsAre(Field(&ShownBox::text, kUpdateAvailable),
                                           Field(&ShownBox::text, kSignatureNotValid)));
  EXPECT_THAT(ui.boxes,
              ElementsAre(Field(&ShownBox::text, kUpdateAvailable),
                          Field(&ShownBox::text,
                                "Update successfully completed! It will be started Zentri PC")));
  EXPECT_THAT(fixture.InstallersThatRan(), ElementsAre(first_folder + "setupZT.exe"));
  EXPECT_FALSE(FileIsThere(first_folder + "setupZT.zip"))
      << "the first run's folder goes at its end";
  second_run.RemoveRunTempDirectory();
}

}  // namespace
}  // namespace rariduze::testing
