#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/failure.h"
#include "tests/support/loopback_responder.h"
#include "tests/support/nginx_server.h"
#include "tests/transfer/internet_file_fixture.h"

namespace rariduze::testing {
namespace {

// The local file gathers the engine's small writes. Whatever a handler of the events that end
// a run finds in the file must be every byte counted so far, and a write that fails only when
// the file is closed is still the caller's failure.
class DownloadFlushTest : public InternetFileTest {
 protected:
  DownloadFlushTest() : body_(Pattern(100000, 3)) {
    WriteFile(www_.File("body.bin"), body_);
    WriteFile(www_.File("small.bin"), Pattern(5000));
    nginx_ = std::make_unique<NginxServer>(www_.path());
  }

  bool Recorded(const std::string& line) const {
    return std::find(events_.lines.begin(), events_.lines.end(), line) != events_.lines.end();
  }
  bool NothingLeftOpen() const {
    return internet_.open_sessions() == 0 && internet_.open_other_handles() == 0;
  }

  const std::string body_;
  TestDir www_{"www"};
  std::unique_ptr<NginxServer> nginx_;
  const std::string local_ = dir_.File("got.bin");
  std::string seen_;
};

TEST_F(DownloadFlushTest, TheCompleteHandlerFindsTheWholeFile) {
  events_.on_event = [&](const std::string& line) {
    if (line == "complete") seen_ = ReadFile(local_);
  };
  Download(nginx_->Url("/body.bin"), local_);
  ASSERT_EQ(events_.lines.back(), "complete");
  EXPECT_TRUE(seen_ == body_);
}

TEST_F(DownloadFlushTest, TheCancelledHandlerFindsEveryByteCounted) {
  // 20 chunks: more than the file gathers at once, and not a whole number of its pieces.
  events_.on_event = [&](const std::string& line) {
    if (line == "progress 40960") file_.CancelDownload();
    if (line.starts_with("cancelled")) seen_ = ReadFile(local_);
  };
  Download(nginx_->Url("/body.bin"), local_);
  ASSERT_EQ(events_.lines.back(), "cancelled 40960");
  EXPECT_TRUE(seen_ == body_.substr(0, 40960));
}

// What an exit does in the middle of a download: the file is let go of at once, so it can be
// deleted before the run comes back (Windows deletes no open file), and nothing writes it again.
TEST_F(DownloadFlushTest, AReleasedFileCanBeDeletedAtOnceAndStaysDeleted) {
  bool deleted = false;
  events_.on_event = [&](const std::string& line) {
    if (line != "progress 40960") return;
    file_.ReleaseLocalFile();
    deleted = std::filesystem::remove(Utf8Path(local_));
  };
  Download(nginx_->Url("/body.bin"), local_);
  EXPECT_TRUE(deleted);
  EXPECT_EQ(events_.lines.back(), "cancelled 40960");
  EXPECT_FALSE(FileIsThere(local_));
  EXPECT_TRUE(NothingLeftOpen());
}

TEST_F(DownloadFlushTest, TheReadErrorHandlerFindsEveryByteReceived) {
  LoopbackResponder responder;
  responder.Enqueue(Reply::Answer("HTTP/1.1 200 OK", ""));
  // The connection closes after 30,000 of the 100,000 bytes announced.
  responder.Enqueue(
      Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + body_.substr(0, 30000)));
  events_.on_event = [&](const std::string& line) {
    if (line.starts_with("error")) seen_ = ReadFile(local_);
  };
  Download(responder.Url("/setupZT.zip"), local_);
  ASSERT_EQ(events_.lines.back(), "error Could not read Url");
  EXPECT_TRUE(Recorded("progress 30000"));
  EXPECT_TRUE(seen_ == body_.substr(0, 30000));
}

TEST_F(DownloadFlushTest, AFileThatRefusesItsLastBytesFailsTheRunWithoutComplete) {
  // /dev/full opens, then refuses every byte; a body smaller than what the file gathers meets
  // the refusal only when the file is closed, just before the run would be complete.
  file_.SetUrl(nginx_->Url("/small.bin"));
  file_.SetLocalFile(std::string("/dev/full"));
  EXPECT_THROW(file_.StartDownload(), RuntimeFailure);
  EXPECT_FALSE(Recorded("complete"));
  EXPECT_TRUE(NothingLeftOpen());

  events_.lines.clear();
  EXPECT_NO_THROW(file_.ResumeDownload());
  EXPECT_FALSE(Recorded("complete"));
  EXPECT_TRUE(NothingLeftOpen());
}

}  // namespace
}  // namespace rariduze::testing
