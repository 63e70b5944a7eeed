// The wait hook: while an operation waits for the network it calls the hook at least every
// 100 ms from the caller's thread, and a hook that says stop ends the wait at once, the
// operation failing as it would on a broken connection. The limits here are long (10 s), so
// an operation that ends early was ended by the hook. The bounds on time are ten times what is
// promised: they tell a hook that is called from one that is not, not how fast anything is,
// and every watched wait lasts longer than the largest gap allowed.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/internet.h"
#include "tests/platform/internet_fixture.h"
#include "tests/support/internet_backend.h"
#include "tests/support/loopback_responder.h"
#include "tests/support/test_data.h"

namespace rariduze::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr long kLongLimit = 10;
// Well under the limits, well over the moment the hook stops the wait.
constexpr auto kEndsEarly = std::chrono::seconds(5);
// Ten times the promised interval: room for a loaded machine, none for a missing hook.
constexpr auto kLargestGap = milliseconds(10 * kWaitHookIntervalMs);
// Longer than the largest gap, so a hook called only at the start or at the end shows.
constexpr auto kWatched = kLargestGap + milliseconds(500);
// A hook that never says stop.
constexpr milliseconds kNever = std::chrono::hours(1);

class InternetWaitHookTest : public InternetTest {
 protected:
  InternetWaitHookTest() : InternetTest(LongLimits()) {}

  static InternetOptions LongLimits() {
    InternetOptions options;
    options.limits.connect_seconds = kLongLimit;
    options.limits.stall_seconds = kLongLimit;
    return options;
  }

  void SetUp() override {
    // Until a test watches, the hook lets every wait go on.
    Watch(kNever);
    api_->SetWaitHook([this] { return Called(); });
  }

  // From now on the hook counts its calls and the largest gap between them (the first one
  // measured from now), and says stop once stop_after has passed.
  void Watch(milliseconds stop_after) {
    calls_ = 0;
    largest_gap_ = Clock::duration::zero();
    started_ = last_call_ = Clock::now();
    stop_after_ = stop_after;
    on_call_ = nullptr;
  }

  bool Called() {
    const Clock::time_point now = Clock::now();
    EXPECT_EQ(std::this_thread::get_id(), caller_) << "the hook runs on the caller's thread";
    ++calls_;
    largest_gap_ = std::max(largest_gap_, now - last_call_);
    last_call_ = now;
    if (on_call_) on_call_();
    return now - started_ < stop_after_;
  }

  // The calls made and the largest gap, including the one from the last call to the end.
  void ExpectCalledThroughout() {
    largest_gap_ = std::max(largest_gap_, Clock::now() - last_call_);
    EXPECT_GE(calls_, 2);
    EXPECT_LE(largest_gap_, kLargestGap)
        << std::chrono::duration_cast<milliseconds>(largest_gap_).count() << " ms";
  }

  Clock::duration Elapsed() const { return Clock::now() - started_; }

  const std::thread::id caller_ = std::this_thread::get_id();
  int calls_ = 0;
  Clock::duration largest_gap_{};
  Clock::time_point started_;
  Clock::time_point last_call_;
  milliseconds stop_after_{0};
  std::function<void()> on_call_;
  LoopbackResponder responder_;
};

TEST_F(InternetWaitHookTest, AReadWaitingForASilentServerEndsWhenTheHookSaysStop) {
  responder_.Enqueue(Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n").Hold());
  InternetHandle url = api_->OpenUrl(session_, responder_.Url("/x"));
  ASSERT_NE(url, 0u);

  Watch(kWatched);
  char buffer[kMaxReadSize];
  std::uint32_t read = 0;
  EXPECT_FALSE(api_->ReadFile(url, buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 0u);
  EXPECT_LT(Elapsed(), kEndsEarly);
  ExpectCalledThroughout();
  // As on a broken connection: the next read fails too, at once.
  EXPECT_FALSE(api_->ReadFile(url, buffer, sizeof buffer, &read));
  EXPECT_LT(Elapsed(), kEndsEarly);
  api_->CloseHandle(url);
}

TEST_F(InternetWaitHookTest, BytesThatCameBeforeTheStopAreHandedOutFirst) {
  responder_.Enqueue(Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc").Hold());
  InternetHandle url = api_->OpenUrl(session_, responder_.Url("/x"));
  ASSERT_NE(url, 0u);

  // The read holds "abc" and waits for the rest when the hook says stop.
  Watch(milliseconds(100));
  char buffer[kMaxReadSize];
  std::uint32_t read = 0;
  ASSERT_TRUE(api_->ReadFile(url, buffer, sizeof buffer, &read));
  EXPECT_EQ(std::string(buffer, read), "abc");
  EXPECT_FALSE(api_->ReadFile(url, buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 0u);
  EXPECT_LT(Elapsed(), kEndsEarly);
  api_->CloseHandle(url);
}

TEST_F(InternetWaitHookTest, AnOpenWaitingForTheAnswerEndsWhenTheHookSaysStop) {
  responder_.Enqueue(Reply().Hold());
  Watch(kWatched);
  EXPECT_EQ(api_->OpenUrl(session_, responder_.Url("/x")), 0u);
  EXPECT_LT(Elapsed(), kEndsEarly);
  ExpectCalledThroughout();
}

TEST_F(InternetWaitHookTest, AHeadRequestWaitingForItsAnswerEndsWhenTheHookSaysStop) {
  responder_.Enqueue(Reply().Hold());
  Watch(kWatched);
  HeadAnswer answer = Head("127.0.0.1:" + std::to_string(responder_.port()), "/x");
  EXPECT_LT(Elapsed(), kEndsEarly);
  ExpectCalledThroughout();
  EXPECT_FALSE(answer.headers_ok);
  EXPECT_FALSE(answer.status_ok);
}

TEST_F(InternetWaitHookTest, PassingOverTheStartOfABodyEndsWhenTheHookSaysStop) {
  // The server ignores the range, sends the first bytes of the whole body and falls silent
  // before the position is reached, which is so far that passing over at the slowest rate
  // allowed would take longer than the hook's stop.
  responder_.Enqueue(Reply::Answer("HTTP/1.1 200 OK", Pattern(100)));
  responder_.Enqueue(
      Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 9000000\r\n\r\n" + Pattern(1000)).Hold());
  InternetHandle url = api_->OpenUrl(session_, responder_.Url("/x"));
  ASSERT_NE(url, 0u);
  Watch(kWatched);
  EXPECT_EQ(api_->SetFilePointer(url, 5000000), kInvalidSetFilePointer);
  EXPECT_LT(Elapsed(), kEndsEarly);
  ExpectCalledThroughout();
  api_->CloseHandle(url);
}

TEST_F(InternetWaitHookTest, AHookThatLetsTheWaitGoOnIsCalledUntilTheBytesCome) {
  const std::string body = Pattern(3000);
  responder_.Enqueue(
      Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n").Pause(kWatched).Send(body));
  InternetHandle url = api_->OpenUrl(session_, responder_.Url("/x"));
  ASSERT_NE(url, 0u);
  Watch(kNever);
  Body got = ReadAll(url);
  api_->CloseHandle(url);
  EXPECT_TRUE(got.ok);
  EXPECT_TRUE(got.bytes == body) << got.bytes.size();
  ExpectCalledThroughout();
}

TEST_F(InternetWaitHookTest, AHookThatClosesTheHandleItWaitsOnEndsTheRead) {
  responder_.Enqueue(Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n").Hold());
  InternetHandle url = api_->OpenUrl(session_, responder_.Url("/x"));
  ASSERT_NE(url, 0u);
  // The user closes the window: the handler run by the hook lets go of the download.
  Watch(kNever);
  on_call_ = [&] {
    if (calls_ == 2) api_->CloseHandle(url);
  };
  char buffer[kMaxReadSize];
  std::uint32_t read = 0;
  EXPECT_FALSE(api_->ReadFile(url, buffer, sizeof buffer, &read));
  EXPECT_LT(Elapsed(), kEndsEarly);
  EXPECT_FALSE(api_->ReadFile(url, buffer, sizeof buffer, &read));
}

}  // namespace
}  // namespace rariduze::testing
