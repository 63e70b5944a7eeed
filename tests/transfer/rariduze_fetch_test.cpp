#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/host.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_dir.h"
#include "tests/transfer/internet_file_fixture.h"

namespace rariduze::testing {
namespace {

class RariduzeFetchToolTest : public ::testing::Test {
 protected:
  RariduzeFetchToolTest() : body_(Pattern(10000, 3)) {
    WriteFile(www_.File("setupZT.zip"), body_);
    nginx_ = std::make_unique<NginxServer>(www_.path());
  }

  // Direct connections and short limits, whatever the machine's proxy settings.
  ProgramRun Fetch(std::vector<std::string> args) {
    args.insert(args.begin(), {RARIDUZE_FETCH, "--connect-type", "2", "--stall-seconds", "2",
                               "--connect-seconds", "2"});
    ProgramRun run = RunProgram(args);
    run.output = WithUnixLineEnds(run.output);
    return run;
  }
  std::string Url() const { return nginx_->Url("/setupZT.zip"); }

  TestDir www_{"www"};
  TestDir dir_{"fetch"};
  std::string body_;
  std::unique_ptr<NginxServer> nginx_;
};

TEST_F(RariduzeFetchToolTest, PrintsTheInformationAndEveryEvent) {
  ProgramRun run = Fetch({Url(), dir_.File("got.zip")});
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_TRUE(run.output.starts_with("info exists=1 size=10000 modified=")) << run.output;
  EXPECT_TRUE(run.output.ends_with(
      " GMT\nprogress 2048\nprogress 4096\nprogress 6144\nprogress 8192\nprogress 10000\n"
      "progress 10000\ncomplete\n"))
      << run.output;
  EXPECT_TRUE(ReadFile(dir_.File("got.zip")) == body_);
}

TEST_F(RariduzeFetchToolTest, CancelAtAndResumeFinishTheFileInTwoGoes) {
  ProgramRun first = Fetch({"--cancel-at", "4000", Url(), dir_.File("got.zip")});
  EXPECT_EQ(first.exit_status, 1);
  EXPECT_TRUE(first.output.ends_with("progress 2048\nprogress 4096\ncancelled 4096\n"))
      << first.output;

  ProgramRun second = Fetch({"--resume", Url(), dir_.File("got.zip")});
  EXPECT_EQ(second.exit_status, 0) << second.errors;
  EXPECT_NE(second.output.find("\nprogress 6144\n"), std::string::npos) << second.output;
  EXPECT_EQ(second.output.find("progress 2048"), std::string::npos);
  EXPECT_TRUE(ReadFile(dir_.File("got.zip")) == body_);
}

TEST_F(RariduzeFetchToolTest, FailuresHaveTheirOwnExitStatus) {
  ProgramRun missing = Fetch({nginx_->Url("/none.zip"), "--info-only"});
  EXPECT_EQ(missing.exit_status, 0);
  EXPECT_TRUE(missing.output.starts_with("info exists=0 size=")) << missing.output;
  EXPECT_TRUE(missing.output.ends_with(" modified=Not Available\n")) << missing.output;

  std::string refused = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/setupZT.zip";
  ProgramRun unreachable = Fetch({refused, dir_.File("got.zip")});
  EXPECT_EQ(unreachable.exit_status, 1);
  EXPECT_EQ(unreachable.output,
            "info exists=0 size=-1 modified=Not Available\nerror Could not find Url\n");

  ProgramRun no_folder = Fetch({Url(), dir_.File("none/got.zip")});
  EXPECT_EQ(no_folder.exit_status, 2);
  EXPECT_NE(no_folder.errors.find("none/got.zip"), std::string::npos) << no_folder.errors;

  EXPECT_EQ(Fetch({Url()}).exit_status, 2);
  EXPECT_EQ(Fetch({"--cancel-at", "many", Url(), dir_.File("x")}).exit_status, 2);
  EXPECT_EQ(Fetch({"--proxy", "nowhere", Url(), dir_.File("x")}).exit_status, 2);
}

}  // namespace
}  // namespace rariduze::testing
