// The update sequence against a server that announces or sends more than it should, and a
// user who clicks "Check for New version" at every chance: the window comes back with a clear
// box within seconds, nothing is asked twice, and nothing unannounced is installed.
#include <ostream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/app/update_driver_fixture.h"
#include "tests/support/loopback_responder.h"

namespace rariduze::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char kUnreadable[] = "The version information on the update server could not be read.";

std::string Head(const std::string& length_header) {
  return "HTTP/1.1 200 OK\r\n" + length_header + "Connection: close\r\n\r\n";
}
// An answer whose body ends when the connection closes, whatever the HEAD said.
Reply Unbounded(const std::string& body) {
  return Reply().Send(Head("")).Trickle(body, 2048, std::chrono::milliseconds(0));
}

struct OversizedCase {
  friend void PrintTo(const OversizedCase& c, std::ostream* out) { *out << c.label; }
  const char* label;
  std::vector<Reply> replies;  // in the order the requests come
  std::int64_t free_space;     // of the temporary folder; -1: as it is
  std::string box;
  std::vector<std::string> requests;  // the request lines the server saw
};

class OversizedDownloadTest : public UpdateDriverTest,
                              public ::testing::WithParamInterface<OversizedCase> {};

TEST_P(OversizedDownloadTest, IsRefusedOrCutOffAndTheWindowReturnsToIdle) {
  const OversizedCase& c = GetParam();
  LoopbackResponder server;
  for (const Reply& reply : c.replies) server.Enqueue(reply);
  if (c.free_space >= 0) system.free_space = c.free_space;
  ui.yes_no_answer = kAnswerYes;
  auto driver = MakeDriver(fixture.Setup(server.Url("/versionZT.dat"), server.Url("/setupZT.zip")));
  driver->Form_Load();
  driver->cmdVerifica_Click();

  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, c.box);
  EXPECT_TRUE(view.IsIdle());
  EXPECT_THAT(system.events, IsEmpty()) << "nothing may be run";
  std::vector<std::string> lines;
  for (const std::string& request : server.Requests()) {
    lines.push_back(request.substr(0, request.find(" HTTP/")));
  }
  EXPECT_EQ(lines, c.requests);
  const std::string temp = fixture.TempFolder();
  EXPECT_FALSE(FileIsThere(temp + "setupZT.zip")) << "an archive that was refused stays";
  if (FileIsThere(temp + "ZTVersion")) {
    EXPECT_LE(ReadFile(temp + "ZTVersion").size(), 66u * 1024) << "not stopped at the limit";
  }
}

const std::string kVersion = "1.0.23\r\n";
const std::string kFlood(4 * 1024 * 1024, 'x');

INSTANTIATE_TEST_SUITE_P(
    Server, OversizedDownloadTest,
    ::testing::Values(
        OversizedCase{"VersionFileAnnouncedTooLarge",
                      {Reply().Send(Head("Content-Length: 52428800\r\n"))},
                      -1,
                      kUnreadable,
                      {"HEAD /versionZT.dat"}},
        OversizedCase{"VersionFileLongerThanAnnounced",
                      {Reply().Send(Head("Content-Length: 8\r\n")), Unbounded(kVersion + kFlood)},
                      -1,
                      kUnreadable,
                      {"HEAD /versionZT.dat", "GET /versionZT.dat"}},
        OversizedCase{"VersionFileOfUnknownSizeThatKeepsComing",
                      {Reply().Send(Head("")), Unbounded(kVersion + kFlood)},
                      -1,
                      kUnreadable,
                      {"HEAD /versionZT.dat", "GET /versionZT.dat"}},
        OversizedCase{"SetupArchiveLargerThanTheFreeSpace",
                      {Reply().Send(Head("Content-Length: 8\r\n")), Unbounded(kVersion),
                       Reply().Send(Head("Content-Length: 5000\r\n"))},
                      4999,
                      "The update could not be installed: the setup archive (5000 bytes) does "
                      "not fit in the temporary folder (4999 bytes free).",
                      {"HEAD /versionZT.dat", "GET /versionZT.dat", "HEAD /setupZT.zip"}},
        OversizedCase{"SetupArchiveLongerThanAnnounced",
                      {Reply().Send(Head("Content-Length: 8\r\n")), Unbounded(kVersion),
                       Reply().Send(Head("Content-Length: 100\r\n")), Unbounded(kFlood)},
                      -1,
                      "The update could not be installed: the setup archive is larger than the "
                      "update server announced.",
                      {"HEAD /versionZT.dat", "GET /versionZT.dat", "HEAD /setupZT.zip",
                       "GET /setupZT.zip"}}),
    [](const ::testing::TestParamInfo<OversizedCase>& info) { return info.param.label; });

// Every yield of the whole update, the information requests included, brings a click on
// "Check for New version": none starts a second check, and the setup download still fetches
// the archive, not the version file again.
TEST_F(UpdateDriverTest, ClicksOnCheckDuringACheckStartNothing) {
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetup();
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  auto driver = LoadedDriver();
  int clicks = 0;
  bool clicking = false;
  ui.on_yield = [&] {
    if (clicking) return;  // one finger: no click while the last one is still being handled
    clicking = true;
    ++clicks;
    driver->cmdVerifica_Click();
    clicking = false;
  };
  fixture.ExpectProcessEnds([&] { driver->cmdVerifica_Click(); });

  EXPECT_GT(clicks, 10);
  EXPECT_THAT(
      ui.Texts(),
      ElementsAre(kUpdateAvailable, "Update successfully completed! It will be started Zentri PC"));
  EXPECT_THAT(fixture.InstallersThatRan(), ElementsAre(fixture.InstallerPath()));
  std::vector<std::string> lines;
  const std::string log = fixture.server().AccessLogSynced();
  for (const char* request :
       {"HEAD /versionZT.dat", "GET /versionZT.dat", "HEAD /setupZT.zip", "GET /setupZT.zip"}) {
    std::size_t count = 0;
    for (std::size_t at = log.find(request); at != std::string::npos;
         at = log.find(request, at + 1)) {
      ++count;
    }
    EXPECT_EQ(count, 1u) << request << " in\n" << log;
  }
}

}  // namespace
}  // namespace rariduze::testing
