// Updates from a build with the publisher's key: the update server publishes a signature
// beside each of the two files, and the driver installs only what the key signed, for the
// version the signed version file announced. Keys and signatures are made by the real
// signing tool; nginx serves them, and a scripted server plays what nginx will not.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/update_driver.h"
#include "platform/file_system.h"
#include "platform/internet.h"
#include "platform/system_services.h"
#include "signing/signature_format.h"
#include "tests/app/updater_fixture.h"
#include "tests/support/host.h"
#include "tests/support/loopback_responder.h"
#include "tests/support/signing_keys.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

const char kNotVerified[] = "The version information on the update server could not be verified.";
const char kSignatureNotValid[] =
    "The update could not be installed: the setup archive's signature is not valid.";

// The files an update leaves in the temporary folder while it runs, signatures included.
const char* const kTemporaryFiles[] = {"ZTVersion", "ZTVersion.minisig", "setupZT.zip",
                                       "setupZT.zip.minisig", "setupZT.exe"};

// A signature file's text with its trusted comment line replaced by comment.
std::string WithTrustedComment(const std::string& signature, const std::string& comment) {
  const std::string label = "\ntrusted comment: ";
  const std::size_t start = signature.find(label);
  const std::size_t end = signature.find('\n', start + 1);
  if (start == std::string::npos || end == std::string::npos) {
    ADD_FAILURE() << "no trusted comment in " << signature;
    return signature;
  }
  return signature.substr(0, start) + label + comment + signature.substr(end);
}

// The cases below publish through the fixture's members, hence public ones.
class SignedUpdateTest : public ::testing::Test {
 public:
  UpdaterFixture fixture;
  ScriptedUi ui;
  RecordingView view{ui};
  TestDir keys{"keys"};
  SigningKeyPair publisher{keys.path(), "publisher"};
  SigningKeyPair stranger{keys.path(), "stranger"};

  // A driver of a build that carries keys (by default the publisher's), after its load step.
  std::unique_ptr<UpdateDriver> KeyedDriver(UpdaterSetup setup, std::vector<std::string> keys) {
    setup.publisher_keys = std::move(keys);
    auto driver = std::make_unique<UpdateDriver>(
        view, ui, fixture.internet(), FileSystem::Default(), fixture.system(), std::move(setup));
    driver->Form_Load();
    return driver;
  }
  std::unique_ptr<UpdateDriver> KeyedDriver() {
    return KeyedDriver(fixture.Setup(), {publisher.key_line()});
  }

  // Signs a published file as the publisher does, into name + ".minisig" beside it.
  std::string Sign(const std::string& name, const std::string& trusted_comment = "",
                   bool legacy = false) {
    return publisher.Sign(fixture.PublishedPath(name), trusted_comment, legacy);
  }
  // The update to 1.0.23 as the publisher puts it on the server: both files and their
  // signatures, the archive's naming the version it installs.
  void PublishSignedUpdate(int installer_exit = 0) {
    fixture.PublishVersion("1.0.23");
    fixture.PublishSetup(installer_exit);
    Sign("versionZT.dat");
    Sign("setupZT.zip", "version:1.0.23");
  }

  bool LogHas(const std::string& request) {
    return fixture.server().AccessLogSynced().find(request) != std::string::npos;
  }
  bool NoTemporaryFileLeft() {
    for (const char* name : kTemporaryFiles) {
      if (FileIsThere(fixture.TempFolder() + name)) return false;
    }
    return true;
  }
};

// --- what the key signed is installed -------------------------------------------------------

TEST_F(SignedUpdateTest, AGoodPairInstallsAndTheUnloadTakesTheSignaturesAway) {
  PublishSignedUpdate();
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  auto driver = KeyedDriver();
  fixture.ExpectProcessEnds([&] { driver->cmdVerifica_Click(); });
  EXPECT_THAT(ui.boxes,
              ElementsAre(Field(&ShownBox::text, kUpdateAvailable),
                          Field(&ShownBox::text,
                                "Update successfully completed! It will be started Zentri PC")));
  EXPECT_THAT(fixture.system().events, ElementsAre("run " + fixture.InstallerPath(),
                                                   "start " + fixture.ServedAppPath(), "end 0"));
  EXPECT_TRUE(NoTemporaryFileLeft());
  EXPECT_EQ(view.ending, kIdleAtTheEnd);
}

TEST_F(SignedUpdateTest, EachSignatureIsFetchedAfterItsFileAndStartsTheBarAfresh) {
  PublishSignedUpdate(4);  // an installer that fails keeps the program running
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  auto driver = KeyedDriver();
  // What the bar showed, each change once.
  std::vector<std::string> captions;
  ui.on_yield = [&] {
    const std::string caption = view.bar().Caption();
    if (captions.empty() || captions.back() != caption) captions.push_back(caption);
  };
  driver->cmdVerifica_Click();
  ui.on_yield = nullptr;

  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text,
            "The update could not be installed: the installer ended with exit status 4.");
  // The access log has a line per request: "GET /path HTTP/1.1 200 ...".
  std::vector<std::string> gets;
  std::istringstream log(fixture.server().AccessLogSynced());
  for (std::string method, path, rest; log >> method >> path && std::getline(log, rest);) {
    if (method == "GET") gets.push_back(path);
  }
  EXPECT_THAT(gets, ElementsAre("/versionZT.dat", "/versionZT.dat.minisig", "/setupZT.zip",
                                "/setupZT.zip.minisig"));
  // Full after each file, empty again as the next one starts.
  EXPECT_EQ(std::count(captions.begin(), captions.end(), "100 %"), 4);
  EXPECT_EQ(std::count(captions.begin(), captions.end(), "0 %"), 4);
  EXPECT_EQ(view.bar().Caption(), "100 %");
}

// A build that carries the old key and its successor takes files signed by either.
TEST_F(SignedUpdateTest, ABuildWithTwoKeysTakesWhatEitherSigned) {
  PublishSignedUpdate(4);  // an installer that fails keeps the program running
  SigningKeyPair successor{keys.path(), "successor"};
  successor.Sign(fixture.PublishedPath("versionZT.dat"));
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  auto driver = KeyedDriver(fixture.Setup(), {publisher.key_line(), successor.key_line()});
  driver->cmdVerifica_Click();
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text,
            "The update could not be installed: the installer ended with exit status 4.");
  EXPECT_THAT(fixture.InstallersThatRan(), ElementsAre(fixture.InstallerPath()));
}

TEST_F(SignedUpdateTest, WithoutAKeyNothingIsFetchedBesideTheTwoFiles) {
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetup(4);
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  auto driver = KeyedDriver(fixture.Setup(), {});
  driver->cmdVerifica_Click();
  // Unsigned, installed as always (the installer ran and failed).
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text,
            "The update could not be installed: the installer ended with exit status 4.");
  EXPECT_THAT(fixture.InstallersThatRan(), ElementsAre(fixture.InstallerPath()));
  EXPECT_FALSE(LogHas(".minisig"));
}

// --- a version file the key did not sign ----------------------------------------------------

// A way of publishing a file the key did not sign, named for the test's name.
struct PublishCase {
  const char* label;
  std::function<void(SignedUpdateTest&, UpdaterFixture&)> publish;
};

void PrintTo(const PublishCase& publish_case, std::ostream* out) { *out << publish_case.label; }

class UnverifiedVersionTest : public SignedUpdateTest,
                              public ::testing::WithParamInterface<PublishCase> {};

TEST_P(UnverifiedVersionTest, IsRefusedWithABoxAndNothingIsAsked) {
  // The archive beside it is good: only the version file's signature stands in the way.
  PublishSignedUpdate();
  GetParam().publish(*this, fixture);
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  auto driver = KeyedDriver();
  driver->cmdVerifica_Click();

  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, kNotVerified);
  EXPECT_EQ(ui.boxes[0].style, kStyleOkStop);
  EXPECT_EQ(ui.boxes[0].title, "RARiduze");
  EXPECT_TRUE(view.IsIdle());
  EXPECT_THAT(fixture.system().events, IsEmpty());
  EXPECT_FALSE(LogHas("setupZT.zip")) << "the archive was asked for";
}

INSTANTIATE_TEST_SUITE_P(
    Signatures, UnverifiedVersionTest,
    ::testing::Values(
        PublishCase{"MissingSignature",
                    [](SignedUpdateTest&, UpdaterFixture& f) {
                      std::filesystem::remove(f.PublishedPath("versionZT.dat.minisig"));
                    }},
        PublishCase{"AVersionChangedAfterSigning",
                    [](SignedUpdateTest&, UpdaterFixture& f) { f.PublishVersion("1.0.24"); }},
        PublishCase{"SignatureOfAnotherFile",
                    [](SignedUpdateTest&, UpdaterFixture& f) {
                      f.PublishFile("versionZT.dat.minisig",
                                    ReadFile(f.PublishedPath("setupZT.zip.minisig")));
                    }},
        PublishCase{"AnotherKey",
                    [](SignedUpdateTest& t, UpdaterFixture& f) {
                      t.stranger.Sign(f.PublishedPath("versionZT.dat"));
                    }},
        PublishCase{"TruncatedSignature",
                    [](SignedUpdateTest&, UpdaterFixture& f) {
                      const std::string good = ReadFile(f.PublishedPath("versionZT.dat.minisig"));
                      f.PublishFile("versionZT.dat.minisig", good.substr(0, good.size() / 2));
                    }},
        PublishCase{"GarbageSignature",
                    [](SignedUpdateTest&, UpdaterFixture& f) {
                      f.PublishFile("versionZT.dat.minisig", "<html>404 Not Found</html>\n");
                    }},
        PublishCase{"LegacySignature",
                    [](SignedUpdateTest& t, UpdaterFixture&) {
                      t.Sign("versionZT.dat", "", /*legacy=*/true);
                    }},
        PublishCase{"EditedTrustedComment",
                    [](SignedUpdateTest&, UpdaterFixture& f) {
                      f.PublishFile(
                          "versionZT.dat.minisig",
                          WithTrustedComment(ReadFile(f.PublishedPath("versionZT.dat.minisig")),
                                             "version:1.0.23"));
                    }}),
    [](const ::testing::TestParamInfo<PublishCase>& info) { return info.param.label; });

TEST_F(SignedUpdateTest, AnOversizedSignatureIsNotEvenDownloaded) {
  PublishSignedUpdate();
  fixture.PublishFile("versionZT.dat.minisig", std::string(1024 * 1024, 'x'));
  fixture.Serve();
  auto driver = KeyedDriver();
  driver->cmdVerifica_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, kNotVerified);
  EXPECT_TRUE(view.IsIdle());
  EXPECT_THAT(fixture.system().events, IsEmpty());
  EXPECT_TRUE(LogHas("HEAD /versionZT.dat.minisig"));
  EXPECT_FALSE(LogHas("GET /versionZT.dat.minisig"));
}

// A server that announces no size and sends a "signature" without end: the download is
// stopped soon after more bytes than a signature file may have arrived.
TEST_F(SignedUpdateTest, ASignatureThatKeepsComingIsStoppedAndRefused) {
  fixture.PublishVersion("1.0.23");
  const std::string version = ReadFile(fixture.PublishedPath("versionZT.dat"));
  const std::string no_size = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
  LoopbackResponder server;
  server.Enqueue(Reply().Send(no_size));            // HEAD versionZT.dat
  server.Enqueue(Reply().Send(no_size + version));  // GET
  server.Enqueue(Reply().Send(no_size));            // HEAD versionZT.dat.minisig
  server.Enqueue(Reply()
                     .Send(no_size)
                     .Trickle(std::string(512 * 1024, 'A'), 4096, std::chrono::milliseconds(5))
                     .Hold());
  auto driver = KeyedDriver(fixture.Setup(server.Url("/versionZT.dat"), server.Url("/setupZT.zip")),
                            {publisher.key_line()});
  driver->cmdVerifica_Click();

  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, kNotVerified);
  EXPECT_TRUE(view.IsIdle());
  EXPECT_THAT(fixture.system().events, IsEmpty());
  // The download holds what a signature may hold and at most one read more (the temporary
  // file stays until the unload).
  const std::uintmax_t received =
      std::filesystem::file_size(fixture.TempFolder() + "ZTVersion.minisig");
  EXPECT_GT(received, kMaxSignatureFileBytes);
  EXPECT_LE(received, kMaxSignatureFileBytes + kMaxReadSize);
}

TEST_F(SignedUpdateTest, AKeyThatCannotBeReadVerifiesNothing) {
  PublishSignedUpdate();
  fixture.Serve();
  std::string broken = publisher.key_line();
  broken.replace(broken.size() - 4, 4, "====");
  auto driver = KeyedDriver(fixture.Setup(), {broken});
  driver->cmdVerifica_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, kNotVerified);
  EXPECT_TRUE(view.IsIdle());
  EXPECT_THAT(fixture.system().events, IsEmpty());
}

// --- a setup archive the key did not sign for this version ----------------------------------

class UnverifiedArchiveTest : public SignedUpdateTest,
                              public ::testing::WithParamInterface<PublishCase> {};

TEST_P(UnverifiedArchiveTest, IsNeitherExtractedNorRunNorKept) {
  PublishSignedUpdate();
  GetParam().publish(*this, fixture);
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  auto driver = KeyedDriver();
  driver->cmdVerifica_Click();

  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, kUpdateAvailable);
  EXPECT_EQ(ui.boxes[1].text, kSignatureNotValid);
  EXPECT_EQ(ui.boxes[1].style, kStyleOkStop);
  EXPECT_TRUE(view.IsIdle());
  EXPECT_THAT(fixture.system().events, IsEmpty());
  EXPECT_FALSE(FileIsThere(fixture.TempFolder() + "setupZT.zip"));
  EXPECT_FALSE(FileIsThere(fixture.InstallerPath())) << "the archive was extracted";
}

INSTANTIATE_TEST_SUITE_P(
    Signatures, UnverifiedArchiveTest,
    ::testing::Values(
        PublishCase{"OneFlippedByte",
                    [](SignedUpdateTest&, UpdaterFixture& f) {
                      std::string archive = ReadFile(f.PublishedPath("setupZT.zip"));
                      archive[archive.size() / 2] =
                          static_cast<char>(archive[archive.size() / 2] ^ 1);
                      f.PublishFile("setupZT.zip", archive);
                    }},
        PublishCase{"SignatureOfAnotherFile",
                    [](SignedUpdateTest& t, UpdaterFixture& f) {
                      t.publisher.Sign(f.PublishedPath("versionZT.dat"), "version:1.0.23", false,
                                       f.PublishedPath("setupZT.zip.minisig"));
                    }},
        PublishCase{"AnotherKey",
                    [](SignedUpdateTest& t, UpdaterFixture& f) {
                      t.stranger.Sign(f.PublishedPath("setupZT.zip"), "version:1.0.23");
                    }},
        PublishCase{"MissingSignature",
                    [](SignedUpdateTest&, UpdaterFixture& f) {
                      std::filesystem::remove(f.PublishedPath("setupZT.zip.minisig"));
                    }},
        PublishCase{"TruncatedSignature",
                    [](SignedUpdateTest&, UpdaterFixture& f) {
                      const std::string good = ReadFile(f.PublishedPath("setupZT.zip.minisig"));
                      f.PublishFile("setupZT.zip.minisig", good.substr(0, good.size() - 20));
                    }},
        PublishCase{"GarbageSignature",
                    [](SignedUpdateTest&, UpdaterFixture& f) {
                      std::mt19937 random(5);
                      std::string garbage(300, '\0');
                      for (char& c : garbage) c = static_cast<char>(random());
                      f.PublishFile("setupZT.zip.minisig", garbage);
                    }},
        // An archive signed for an older version, its comment edited to name the new one.
        PublishCase{"EditedTrustedComment",
                    [](SignedUpdateTest& t, UpdaterFixture& f) {
                      f.PublishFile("setupZT.zip.minisig",
                                    WithTrustedComment(t.Sign("setupZT.zip", "version:1.0.22"),
                                                       "version:1.0.23"));
                    }},
        PublishCase{
            "AnOlderSignedArchiveBesideTheNewerVersion",
            [](SignedUpdateTest& t, UpdaterFixture&) { t.Sign("setupZT.zip", "version:1.0.22"); }},
        PublishCase{"ACommentThatNamesNoVersion",
                    [](SignedUpdateTest& t, UpdaterFixture&) { t.Sign("setupZT.zip"); }},
        PublishCase{"LegacySignature",
                    [](SignedUpdateTest& t, UpdaterFixture&) {
                      t.Sign("setupZT.zip", "version:1.0.23", /*legacy=*/true);
                    }},
        PublishCase{"OversizedSignature",
                    [](SignedUpdateTest&, UpdaterFixture& f) {
                      const std::string good = ReadFile(f.PublishedPath("setupZT.zip.minisig"));
                      f.PublishFile("setupZT.zip.minisig", good + std::string(64 * 1024, '\n'));
                    }}),
    [](const ::testing::TestParamInfo<PublishCase>& info) { return info.param.label; });

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

TEST_F(SignedUpdateTest, ExitAfterARefusedArchiveTakesEveryTemporaryFileAway) {
  PublishSignedUpdate();
  Sign("setupZT.zip", "version:1.0.22");
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  auto driver = KeyedDriver();
  driver->cmdVerifica_Click();
  fixture.ExpectProcessEnds([&] { driver->cmdEsci_Click(); });
  EXPECT_THAT(ui.boxes, ElementsAre(Field(&ShownBox::text, kUpdateAvailable),
                                    Field(&ShownBox::text, kSignatureNotValid)));
  EXPECT_THAT(fixture.system().events, ElementsAre("start " + fixture.ServedAppPath(), "end 0"));
  EXPECT_TRUE(NoTemporaryFileLeft());
}

}  // namespace
}  // namespace rariduze::testing
