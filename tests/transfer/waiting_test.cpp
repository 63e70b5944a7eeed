// The control while the network keeps it waiting: the window is yielded to all along, and
// "Stop Download" ends the wait at once instead of after the time limits (20 s to connect,
// 30 s without a byte, the updater's own).

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/loopback_responder.h"
#include "tests/transfer/internet_file_fixture.h"

namespace rariduze::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kHeaders = "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n";

// The updater's time limits, a scripted server, and a user who clicks "Stop Download" once a
// while has passed, noting when each yield came.
class WaitingTest : public ::testing::Test {
 protected:
  WaitingTest()
      : real_(CreateInternetApi()),
        internet_(*real_),
        file_(internet_, ui_, FileSystem::Default(), host_) {
    file_.SetEvents(&events_);
    file_.SetConnectType(2);
    file_.SetUrl(responder_.Url("/setupZT.zip"));
    file_.SetLocalFile(dir_.File("setupZT.zip"));
  }

  // Clicks once click_after has passed since this call; notes every yield from then on.
  void StopAfter(milliseconds click_after) {
    started_ = Clock::now();
    ui_.on_yield = [this, click_after](int) {
      const Clock::time_point now = Clock::now();
      yields_.push_back(now);
      if (!clicked_at_ && now - started_ >= click_after) {
        clicked_at_ = now;
        file_.CancelDownload();
      }
    };
  }

  // How long the call took after the click.
  milliseconds SinceTheClick() const {
    EXPECT_TRUE(clicked_at_.has_value());
    return std::chrono::duration_cast<milliseconds>(Clock::now() -
                                                    clicked_at_.value_or(Clock::now()));
  }

  // The longest time without a yield before the click: the window's longest freeze.
  milliseconds LongestGapBeforeTheClick() const {
    milliseconds longest{0};
    Clock::time_point previous = started_;
    for (Clock::time_point yield : yields_) {
      if (clicked_at_ && yield > *clicked_at_) break;
      longest = std::max(longest, std::chrono::duration_cast<milliseconds>(yield - previous));
      previous = yield;
    }
    return longest;
  }

  static Reply Head() { return Reply().Send(kHeaders); }

  LoopbackResponder responder_;
  std::unique_ptr<InternetApi> real_;
  CountingInternet internet_;
  ScriptedUi ui_;
  RecordingHost host_;
  RecordingEvents events_;
  InternetFile file_;
  TestDir dir_{"waiting"};
  Clock::time_point started_;
  std::optional<Clock::time_point> clicked_at_;
  std::vector<Clock::time_point> yields_;
};

// Far below the 30 s a silent server was given before, yet room for a loaded machine.
constexpr milliseconds kPromptly{2000};
// "At least every 100 ms", with room for a loaded machine.
constexpr milliseconds kLongestFreeze{1000};

TEST_F(WaitingTest, StopWhileTheServerIsSilentAfterItsHeadersCancelsAtOnce) {
  responder_.Enqueue(Head());
  responder_.Enqueue(Reply().Send(kHeaders).Hold());
  StopAfter(milliseconds(700));
  file_.StartDownload();
  EXPECT_EQ(events_.lines, Lines({"cancelled 0"}));
  EXPECT_LT(SinceTheClick(), kPromptly);
  EXPECT_LT(LongestGapBeforeTheClick(), kLongestFreeze);
  // The local file was opened before the wait, and nothing was written.
  EXPECT_EQ(ReadFile(dir_.File("setupZT.zip")), "");
  EXPECT_EQ(internet_.open_sessions() + internet_.open_other_handles(), 0u);
}

TEST_F(WaitingTest, StopAfterSomeBytesCancelsWithTheirCount) {
  responder_.Enqueue(Head());
  responder_.Enqueue(Reply().Send(kHeaders + std::string(3000, 'b')).Hold());
  StopAfter(milliseconds(700));
  file_.StartDownload();
  EXPECT_EQ(events_.lines, Lines({"progress 2048", "progress 3000", "cancelled 3000"}));
  EXPECT_LT(SinceTheClick(), kPromptly);
  EXPECT_EQ(ReadFile(dir_.File("setupZT.zip")), std::string(3000, 'b'));
}

TEST_F(WaitingTest, StopWhileTheAnswerIsAwaitedCancelsWithoutALocalFile) {
  responder_.Enqueue(Head());
  responder_.SetDefault(Reply().Hold());
  StopAfter(milliseconds(700));
  file_.StartDownload();
  EXPECT_EQ(events_.lines, Lines({"cancelled 0"}));
  EXPECT_LT(SinceTheClick(), kPromptly);
  EXPECT_LT(LongestGapBeforeTheClick(), kLongestFreeze);
  EXPECT_FALSE(FileIsThere(dir_.File("setupZT.zip")));
  EXPECT_EQ(internet_.open_sessions() + internet_.open_other_handles(), 0u);
}

TEST_F(WaitingTest, StopDuringAnInformationRequestEndsItAsFailed) {
  responder_.Enqueue(Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 77\r\n\r\n"));
  file_.RequestInformation();
  ASSERT_TRUE(file_.FileExists());

  responder_.SetDefault(Reply().Hold());
  StopAfter(milliseconds(700));
  file_.RequestInformation();
  EXPECT_LT(SinceTheClick(), kPromptly);
  EXPECT_LT(LongestGapBeforeTheClick(), kLongestFreeze);
  EXPECT_FALSE(file_.FileExists());
  EXPECT_EQ(file_.LastModified(), "Not Available");
  EXPECT_EQ(file_.FileSize(), -1);
  EXPECT_EQ(internet_.open_other_handles(), 0u);
}

TEST_F(WaitingTest, ACancelWhileIdleDoesNotEndTheNextInformationRequest) {
  file_.CancelDownload();
  responder_.Enqueue(
      Reply().Pause(milliseconds(400)).Send("HTTP/1.1 200 OK\r\nContent-Length: 77\r\n\r\n"));
  file_.RequestInformation();
  EXPECT_TRUE(file_.FileExists());
  EXPECT_EQ(file_.FileSize(), 77);
}

// A resume from a server that ignores the range passes over the first bytes itself; a slow
// server makes that a wait like any other.
TEST_F(WaitingTest, StopWhileTheStartOfTheFileIsPassedOverCancelsAtTheResumePosition) {
  WriteFile(dir_.File("setupZT.zip"), std::string(3000, 'k'));
  responder_.Enqueue(Head());
  responder_.Enqueue(Head());  // the answer from the first byte, before the position is set
  responder_.Enqueue(Reply().Send(kHeaders).Trickle(std::string(5000, 'n'), 10, milliseconds(50)));
  StopAfter(milliseconds(700));
  file_.ResumeDownload();
  EXPECT_EQ(events_.lines, Lines({"cancelled 3000"}));
  EXPECT_LT(SinceTheClick(), kPromptly);
  EXPECT_EQ(ReadFile(dir_.File("setupZT.zip")), std::string(3000, 'k'));
  EXPECT_EQ(internet_.open_sessions() + internet_.open_other_handles(), 0u);
}

// Passing over the start has a bound of its own: a server that ignores the range and sends a
// byte every 300 ms never trips the stall limit, and would take a quarter of an hour here.
TEST(SkipBoundTest, PassingOverTheStartGivesUpOnAServerTooSlowForIt) {
  LoopbackResponder responder;
  responder.Enqueue(Reply().Send(kHeaders));
  responder.Enqueue(Reply().Send(kHeaders));
  responder.Enqueue(Reply().Send(kHeaders).Trickle(std::string(5000, 'n'), 1, milliseconds(300)));
  InternetOptions options;
  options.limits.connect_seconds = 2;
  options.limits.stall_seconds = 2;
  std::unique_ptr<InternetApi> internet = CreateInternetApi(options);
  ScriptedUi ui;
  RecordingHost host;
  RecordingEvents events;
  TestDir dir("skip-bound");
  InternetFile file(*internet, ui, FileSystem::Default(), host);
  file.SetEvents(&events);
  file.SetConnectType(2);
  file.SetUrl(responder.Url("/setupZT.zip"));
  file.SetLocalFile(dir.File("setupZT.zip"));
  WriteFile(dir.File("setupZT.zip"), std::string(3000, 'k'));
  const Clock::time_point started = Clock::now();
  file.ResumeDownload();
  EXPECT_EQ(events.lines, Lines({"error Error, while setting position"}));
  const std::vector<std::string> requests = responder.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_NE(requests[2].find("\r\nRange: bytes=3000-\r\n"), std::string::npos) << requests[2];
  // The slow server was given the answer's limits (2 s + 2 s), and no more than that, with
  // room for a loaded machine.
  EXPECT_GT(Clock::now() - started, seconds(3));
  EXPECT_LT(Clock::now() - started, seconds(15));
  EXPECT_EQ(ReadFile(dir.File("setupZT.zip")), std::string(3000, 'k'));
}

}  // namespace
}  // namespace rariduze::testing
