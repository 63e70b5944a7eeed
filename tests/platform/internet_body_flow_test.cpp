#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/internet.h"
#include "tests/support/loopback_responder.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

using testing::LoopbackResponder;
using testing::NginxServer;
using testing::Pattern;
using testing::Reply;
using testing::TestDir;

constexpr std::size_t kMiB = 1024 * 1024;

// Bodies many times larger than what is held between reads: receiving stops and starts again
// over and over while the caller takes 2 KiB at a time, and no byte may be lost, doubled or
// moved on the way.
class InternetBodyFlowTest : public ::testing::Test {
 protected:
  InternetBodyFlowTest() {
    InternetOptions options;
    options.limits.connect_seconds = 2;
    // Megabytes go to waste between two requests (the first answer's rest): a loaded machine
    // may take its time, and the limits are not what is tested here.
    options.limits.stall_seconds = 10;
    api_ = CreateInternetApi(options);
    session_ = api_->OpenSession("test", InternetAccess::kDirect, "");
  }
  ~InternetBodyFlowTest() override { api_->CloseHandle(session_); }

  // Reads to the end in 2048-byte calls. A read before the end is short only when it waited
  // for the rest of its buffer in vain (a loaded machine may keep the server from sending);
  // one that returns short at once has cut a whole read in two.
  std::string ReadAll(InternetHandle url) {
    using Clock = std::chrono::steady_clock;
    std::string bytes;
    char buffer[kMaxReadSize];
    std::size_t cut_at = std::string::npos;  // where a short read returned without waiting
    for (int i = 0; i < 100000; ++i) {
      std::uint32_t read = 0;
      const Clock::time_point asked = Clock::now();
      if (!api_->ReadFile(url, buffer, sizeof buffer, &read)) {
        ADD_FAILURE() << "read failed after " << bytes.size() << " bytes";
        break;
      }
      if (read == 0) break;
      EXPECT_EQ(cut_at, std::string::npos) << "a read before the end was short at once";
      bytes.append(buffer, read);
      if (read < sizeof buffer &&
          Clock::now() - asked < std::chrono::milliseconds(kPartialReadWaitMs)) {
        cut_at = bytes.size();
      }
    }
    api_->CloseHandle(url);
    return bytes;
  }

  std::unique_ptr<InternetApi> api_;
  InternetHandle session_ = 0;
  const std::string body_ = Pattern(8 * kMiB + 1000);
};

TEST_F(InternetBodyFlowTest, ALargeBodyArrivesWholeFromTheStartAndFromAPosition) {
  TestDir www{"www"};
  testing::WriteFile(www.File("big.bin"), body_);
  NginxServer nginx(www.path());

  InternetHandle url = api_->OpenUrl(session_, nginx.Url("/big.bin"));
  ASSERT_NE(url, 0u);
  EXPECT_TRUE(ReadAll(url) == body_);

  const std::int32_t from = 3 * kMiB + 5;
  url = api_->OpenUrl(session_, nginx.Url("/big.bin"));
  ASSERT_NE(url, 0u);
  ASSERT_EQ(api_->SetFilePointer(url, from), from);
  EXPECT_TRUE(ReadAll(url) == body_.substr(from));
}

TEST_F(InternetBodyFlowTest, AServerThatIgnoresRangesHasMegabytesPassedOverThenTheRestWhole) {
  LoopbackResponder responder;
  responder.Enqueue(Reply::Answer("HTTP/1.1 200 OK", body_));
  responder.Enqueue(Reply::Answer("HTTP/1.1 200 OK", body_));
  const std::int32_t from = 5 * kMiB + 77;
  InternetHandle url = api_->OpenUrl(session_, responder.Url("/x"));
  ASSERT_NE(url, 0u);
  ASSERT_EQ(api_->SetFilePointer(url, from), from);
  EXPECT_TRUE(ReadAll(url) == body_.substr(from));
}

}  // namespace
}  // namespace rariduze
