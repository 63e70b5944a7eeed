#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/host.h"
#include "tests/support/loopback_responder.h"
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

TEST_F(RariduzeFetchToolTest, QuietPrintsOnlyTheInformationAndTheOutcome) {
  ProgramRun run = Fetch({"--quiet", Url(), dir_.File("got.zip")});
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_TRUE(run.output.starts_with("info exists=1 size=10000 modified=")) << run.output;
  EXPECT_TRUE(run.output.ends_with(" GMT\ncomplete\n")) << run.output;
  EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 2) << run.output;
  EXPECT_TRUE(ReadFile(dir_.File("got.zip")) == body_);

  ProgramRun cancelled = Fetch({"--quiet", "--cancel-at", "4000", Url(), dir_.File("got.zip")});
  EXPECT_EQ(cancelled.exit_status, 1);
  EXPECT_TRUE(cancelled.output.ends_with(" GMT\ncancelled 4096\n")) << cancelled.output;
}

TEST_F(RariduzeFetchToolTest, CancelAfterEndsTheWaitForASilentServer) {
  LoopbackResponder silent;
  const std::string headers = "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n";
  silent.Enqueue(Reply().Send(headers));
  silent.Enqueue(Reply().Send(headers).Hold());
  const auto started = std::chrono::steady_clock::now();
  // The stall limit is 30 s, as the updater's.
  ProgramRun run = Fetch({"--stall-seconds", "30", "--cancel-after", "0.5",
                          silent.Url("/setupZT.zip"), dir_.File("got.zip")});
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.output, "info exists=1 size=5000 modified=Not Available\ncancelled 0\n");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST_F(RariduzeFetchToolTest, ControlCharactersFromTheServerArePrintedEscaped) {
  LoopbackResponder server;
  server.Enqueue(
      Reply().Send("HTTP/1.1 200 OK\r\nLast-Modified: Mon\x1b[2J\x07 back\\slash\r\n\r\n"));
  ProgramRun run = Fetch({"--info-only", server.Url("/versionZT.dat")});
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_EQ(run.output, "info exists=1 size=-1 modified=Mon\\x1b[2J\\x07 back\\x5cslash\n");
}

// The date seen by the information request goes with the request for the rest: a server
// whose file changed since then answers with the whole new file, which is written from the
// first byte instead of being spliced onto the old part.
TEST_F(RariduzeFetchToolTest, ResumeOfAFileThatChangedStartsAgainFromTheFirstByte) {
  const std::string seen = "Mon, 07 Oct 2024 08:00:00 GMT";
  const std::string changed = Pattern(5000, 8);
  const std::string whole = "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\nLast-Modified: ";
  LoopbackResponder server;
  server.Enqueue(Reply().Send(whole + seen + "\r\n\r\n"));
  server.Enqueue(Reply().Send(whole + seen + "\r\n\r\n" + changed));
  // The answer to the range with If-Range: the file changed meanwhile, here it is whole.
  server.Enqueue(Reply().Send(whole + "Tue, 08 Oct 2024 08:00:00 GMT\r\n\r\n" + changed));
  WriteFile(dir_.File("got.zip"), std::string(3000, 'o'));
  ProgramRun run = Fetch({"--resume", server.Url("/setupZT.zip"), dir_.File("got.zip")});
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_EQ(run.output, "info exists=1 size=5000 modified=" + seen +
                            "\nprogress 2048\nprogress 4096\nprogress 5000\nprogress 5000\n"
                            "complete\n");
  EXPECT_TRUE(ReadFile(dir_.File("got.zip")) == changed);
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_NE(requests[2].find("\r\nRange: bytes=3000-\r\n"), std::string::npos) << requests[2];
  EXPECT_NE((requests[2] + "\r\n").find("\r\nIf-Range: " + seen + "\r\n"), std::string::npos)
      << requests[2];
}

TEST_F(RariduzeFetchToolTest, APartialAnswerThatEndsBeforeTheFileDoesIsRefused) {
  LoopbackResponder server;
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n";
  server.Enqueue(Reply().Send(head));
  server.Enqueue(Reply().Send(head + body_));
  server.Enqueue(
      Reply().Send("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 3000-3999/10000\r\n"
                   "Content-Length: 1000\r\n\r\n" +
                   body_.substr(3000, 1000)));
  WriteFile(dir_.File("got.zip"), body_.substr(0, 3000));
  ProgramRun run = Fetch({"--resume", server.Url("/setupZT.zip"), dir_.File("got.zip")});
  EXPECT_EQ(
      run.output,
      "info exists=1 size=10000 modified=Not Available\nerror Error, while setting position\n");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_TRUE(ReadFile(dir_.File("got.zip")) == body_.substr(0, 3000));
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
  for (const char* port : {"-1", "-32768", "0", "32768"}) {
    ProgramRun run = Fetch({"--proxy", std::string("127.0.0.1:") + port, Url(), dir_.File("x")});
    EXPECT_EQ(run.exit_status, 2) << port;
    EXPECT_NE(run.errors.find("the proxy port must be a number from 1 to 32767"), std::string::npos)
        << run.errors;
  }
  for (const char* limit : {"--stall-seconds", "--connect-seconds"}) {
    for (const char* seconds : {"86401", "9223372036854775807", "99999999999999999999", "0"}) {
      ProgramRun run = Fetch({limit, seconds, Url(), dir_.File("x")});
      EXPECT_EQ(run.exit_status, 2) << limit << " " << seconds;
      EXPECT_EQ(run.output, "");
    }
  }
  EXPECT_EQ(Fetch({"--cancel-after", "soon", Url(), dir_.File("x")}).exit_status, 2);
  EXPECT_FALSE(FileIsThere(dir_.File("x")));
}

}  // namespace
}  // namespace rariduze::testing
