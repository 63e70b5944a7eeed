// The transfer control's downloads against real nginx and a scripted server: chunks and events,
// resumes, cancels, handles left open or closed, broken servers.
#include "tests/transfer/internet_file_download_fixture.h"

namespace rariduze::testing {
namespace {
TEST_F(InternetFileDownloadTest, ChunksOf2048GiveOneProgressEachThenTheEmptyReadAndComplete) {
  // The first run asks the server about the file itself, before the first event.
  bool informed = false;
  events_.on_event = [&](const std::string&) {
    if (!informed) {
      informed = true;
      EXPECT_TRUE(file_.FileExists());
      EXPECT_EQ(file_.FileSize(), 5000);
      EXPECT_NE(file_.LastModified(), "Not Available");
    }
  };
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines, Lines({"progress 2048", "progress 4096", "progress 5000",
                                  "progress 5000", "complete"}));
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == small_);
  EXPECT_TRUE(NothingLeftOpen());
}

TEST_F(InternetFileDownloadTest, EmptyBodyCreatesAnEmptyFile) {
  Fetch("empty.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines, Lines({"progress 0", "complete"}));
  EXPECT_TRUE(FileIsThere(dir_.File("got.bin")));
  EXPECT_EQ(ReadFile(dir_.File("got.bin")), "");
}

TEST_F(InternetFileDownloadTest, ARunFromTheFirstByteLeavesNothingOfAnOlderLongerFile) {
  WriteFile(dir_.File("got.bin"), std::string(9000, 'x'));
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == small_);
}

TEST_F(InternetFileDownloadTest, ResumeAsksForTheRestAndAppends) {
  WriteFile(dir_.File("got.bin"), large_.substr(0, 3000));
  file_.SetUrl(nginx_->Url("/large.bin"));
  file_.SetLocalFile(dir_.File("got.bin"));
  file_.ResumeDownload();
  ASSERT_FALSE(events_.lines.empty());
  EXPECT_EQ(events_.lines.front(), "progress 5048");
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == large_);
  const std::string log = nginx_->AccessLogSynced();
  EXPECT_NE(log.find("GET /large.bin HTTP/1.1 206 7000 range=\"bytes=3000-\""), std::string::npos)
      << log;
  EXPECT_TRUE(NothingLeftOpen());
}

TEST_F(InternetFileDownloadTest, ResumeOfACompleteFileCannotSetThePositionAndLeavesTheFile) {
  WriteFile(dir_.File("got.bin"), small_);
  file_.SetUrl(nginx_->Url("/small.bin"));
  file_.SetLocalFile(dir_.File("got.bin"));
  file_.ResumeDownload();
  EXPECT_EQ(events_.lines, Lines({"error Error, while setting position"}));
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == small_);
  EXPECT_TRUE(NothingLeftOpen());
}

TEST_F(InternetFileDownloadTest, ResumeWithoutALocalFileDownloadsEverything) {
  file_.SetUrl(nginx_->Url("/small.bin"));
  file_.SetLocalFile(dir_.File("got.bin"));
  file_.ResumeDownload();
  EXPECT_EQ(events_.lines.front(), "progress 2048");
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == small_);
}

TEST_F(InternetFileDownloadTest, StartAfterAResumeBeginsAgainAtZero) {
  WriteFile(dir_.File("got.bin"), std::string(3000, 'j'));
  file_.SetUrl(nginx_->Url("/large.bin"));
  file_.SetLocalFile(dir_.File("got.bin"));
  file_.ResumeDownload();
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == std::string(3000, 'j') + large_.substr(3000));
  events_.lines.clear();
  file_.StartDownload();
  EXPECT_EQ(events_.lines.front(), "progress 2048");
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == large_);
}

TEST_F(InternetFileDownloadTest, CancelDuringTheConnectionStepsEndsTheRunBeforeAnyRequest) {
  // The second yield comes after the session is opened, before the server is asked anything.
  ui_.on_yield = [&](int yield) {
    if (yield == 2) file_.CancelDownload();
  };
  WriteFile(dir_.File("got.bin"), "older");
  Fetch("large.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines, Lines({"cancelled 0"}));
  EXPECT_EQ(ReadFile(dir_.File("got.bin")), "older");
  EXPECT_TRUE(NothingLeftOpen());
  EXPECT_EQ(nginx_->AccessLogSynced(), "");
}

TEST_F(InternetFileDownloadTest, ACancelledResumeReportsTheBytesTheLocalFileAlreadyHolds) {
  WriteFile(dir_.File("got.bin"), large_.substr(0, 3000));
  file_.SetUrl(nginx_->Url("/large.bin"));
  file_.SetLocalFile(dir_.File("got.bin"));
  ui_.on_yield = [&](int yield) {
    if (yield == 2) file_.CancelDownload();
  };
  file_.ResumeDownload();
  EXPECT_EQ(events_.lines, Lines({"cancelled 3000"}));
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == large_.substr(0, 3000));
  EXPECT_TRUE(NothingLeftOpen());
}

// What a handler finds open when its event comes: the complete and "Could not read Url" come
// after everything is closed, so a handler may start the next transfer; a cancel and "Error,
// while setting position" come before the closing; "Could not find Url" keeps the session.
TEST_F(InternetFileDownloadTest, EachEndingEventFindsItsHandlesClosedOrOpenAsItsOrderSays) {
  struct Open {
    std::size_t sessions;
    std::size_t others;
    bool operator==(const Open&) const = default;
  };
  std::map<std::string, Open> seen;
  events_.on_event = [&](const std::string& line) {
    if (!line.starts_with("progress")) {
      seen[line] = {internet_.open_sessions(), internet_.open_other_handles()};
    }
  };
  Fetch("small.bin", dir_.File("got.bin"));
  // A complete file cannot be resumed: its position is past the end.
  file_.ResumeDownload();
  Download(kUnknownHost, dir_.File("unknown.bin"));
  ui_.yields = 0;
  ui_.on_yield = [&](int yield) {
    if (yield == 2) file_.CancelDownload();
  };
  Fetch("small.bin", dir_.File("cancelled-early.bin"));
  ui_.on_yield = nullptr;
  std::function<void(const std::string&)> record = events_.on_event;
  events_.on_event = [&](const std::string& line) {
    record(line);
    if (line == "progress 2048") file_.CancelDownload();
  };
  Fetch("large.bin", dir_.File("cancelled.bin"));

  LoopbackResponder cut_short;
  cut_short.SetDefault(
      Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + small_.substr(0, 100)));
  Download(cut_short.Url("/small.bin"), dir_.File("cut.bin"));

  EXPECT_EQ(seen["complete"], (Open{0, 0}));
  EXPECT_EQ(seen["error Could not read Url"], (Open{0, 0}));
  EXPECT_EQ(seen["error Error, while setting position"], (Open{1, 1}));
  EXPECT_EQ(seen["cancelled 2048"], (Open{1, 1}));
  EXPECT_EQ(seen["cancelled 0"], (Open{1, 0}));
  EXPECT_EQ(seen["error Could not find Url"], (Open{1, 0}));
  EXPECT_EQ(seen.size(), 6u);
}

TEST_F(InternetFileDownloadTest, SchemesInCapitalsAreSchemesToo) {
  const std::string url = nginx_->Url("/small.bin");
  Download("HTTP" + url.substr(4), dir_.File("got.bin"));
  EXPECT_TRUE(file_.FileExists());
  EXPECT_EQ(file_.FileSize(), 5000);
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == small_);
  const std::string log = nginx_->AccessLogSynced();
  EXPECT_NE(log.find("HEAD /small.bin HTTP/1.0 200"), std::string::npos) << log;
}

TEST_F(InternetFileDownloadTest, CancelFromAProgressHandlerStopsAfterThatChunk) {
  events_.on_event = [&](const std::string& line) {
    if (line == "progress 4096") file_.CancelDownload();
  };
  Fetch("large.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines, Lines({"progress 2048", "progress 4096", "cancelled 4096"}));
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == large_.substr(0, 4096));
  EXPECT_TRUE(NothingLeftOpen());
}

TEST_F(InternetFileDownloadTest, CancelWhileIdleDoesNotTouchTheNextRun) {
  file_.CancelDownload();
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_TRUE(ReadFile(dir_.File("got.bin")) == small_);
}

TEST_F(InternetFileDownloadTest, CompleteHandlerCanStartTheNextDownload) {
  events_.on_event = [&](const std::string& line) {
    if (line == "complete" && file_.Url().ends_with("/small.bin")) {
      Fetch("large.bin", dir_.File("second.bin"));
    }
  };
  Fetch("small.bin", dir_.File("first.bin"));
  EXPECT_EQ(std::count(events_.lines.begin(), events_.lines.end(), "complete"), 2);
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_TRUE(ReadFile(dir_.File("first.bin")) == small_);
  EXPECT_TRUE(ReadFile(dir_.File("second.bin")) == large_);
  EXPECT_TRUE(NothingLeftOpen());
}

TEST_F(InternetFileDownloadTest, ALocalFileThatCannotBeOpenedIsRaisedWithTheConnectionClosed) {
  for (const std::string& local : {dir_.File("no-such-folder/got.bin"), std::string()}) {
    SCOPED_TRACE(local);
    file_.SetUrl(nginx_->Url("/small.bin"));
    file_.SetLocalFile(local);
    EXPECT_THROW(file_.StartDownload(), RuntimeFailure);
    EXPECT_TRUE(events_.lines.empty());
    EXPECT_TRUE(NothingLeftOpen());
    // A resume drops the same failure.
    EXPECT_NO_THROW(file_.ResumeDownload());
    EXPECT_TRUE(events_.lines.empty());
    EXPECT_TRUE(NothingLeftOpen());
  }
  EXPECT_FALSE(FileIsThere(dir_.File("no-such-folder")));
}

TEST_F(InternetFileDownloadTest, AnAddressThatCannotBeOpenedKeepsTheSessionForTheNextRun) {
  Download(kUnknownHost, dir_.File("got.bin"));
  EXPECT_EQ(events_.lines, Lines({"error Could not find Url"}));
  EXPECT_FALSE(FileIsThere(dir_.File("got.bin")));
  EXPECT_EQ(internet_.open_sessions(), 1u);
  EXPECT_EQ(internet_.open_other_handles(), 0u);

  events_.lines.clear();
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_EQ(internet_.sessions_opened, 1);
  EXPECT_TRUE(NothingLeftOpen());
}

// The session rule: a request made before any download leaves the session for it; one made
// after a download closes the session it opened.
TEST_F(InternetFileDownloadTest, InformationBeforeTheFirstDownloadLeavesTheSessionForIt) {
  file_.SetUrl(nginx_->Url("/small.bin"));
  file_.RequestInformation();
  EXPECT_TRUE(file_.FileExists());
  EXPECT_EQ(internet_.open_sessions(), 1u);
  Fetch("small.bin", dir_.File("got.bin"));
  EXPECT_EQ(events_.lines.back(), "complete");
  EXPECT_EQ(internet_.sessions_opened, 1);
  EXPECT_TRUE(NothingLeftOpen());

  file_.RequestInformation();
  EXPECT_EQ(internet_.sessions_opened, 2);
  EXPECT_TRUE(file_.FileExists());
  EXPECT_EQ(file_.FileSize(), 5000);
  EXPECT_TRUE(NothingLeftOpen());
}

// Answers no well-behaved server gives (the common ones are in the hostile-server table).
class InternetFileBrokenServerTest : public InternetFileTest {
 protected:
  void AnswerHead() { responder_.Enqueue(Reply::Answer("HTTP/1.1 200 OK", "")); }

  LoopbackResponder responder_;
};

TEST_F(InternetFileBrokenServerTest, ACountThatWouldPassTheLargestLengthEndsBeforeItWraps) {
  // A local file just short of 2 GiB (sparse), so the resumed count nears its limit at once.
  const std::int64_t start = INT32_MAX - 3000;
  const std::string local = dir_.File("huge.bin");
  WriteFile(local, "");
  ASSERT_EQ(::truncate(local.c_str(), start), 0);
  AnswerHead();
  responder_.Enqueue(Reply::Answer("HTTP/1.1 200 OK", "ignored"));
  const std::string s = std::to_string(start);
  responder_.Enqueue(Reply().Send("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + s +
                                  "-" + std::to_string(start + 4999) + "/" +
                                  std::to_string(start + 5000) +
                                  "\r\nContent-Length: 5000\r\n\r\n" + Pattern(5000)));
  file_.SetUrl(responder_.Url("/setupZT.zip"));
  file_.SetLocalFile(local);
  file_.ResumeDownload();
  EXPECT_EQ(events_.lines,
            Lines({"progress " + std::to_string(start + 2048), "error Could not read Url"}));
  EXPECT_EQ(std::filesystem::file_size(local), static_cast<std::uintmax_t>(start + 2048));
  ASSERT_EQ(responder_.Requests().size(), 3u);
  EXPECT_NE(responder_.Requests()[2].find("Range: bytes=" + s + "-"), std::string::npos);
  EXPECT_EQ(internet_.open_sessions() + internet_.open_other_handles(), 0u);
}

}  // namespace
}  // namespace rariduze::testing
