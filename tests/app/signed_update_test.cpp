// What the key signed is installed; what it did not sign, for this version, is refused.
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
