// Hostile and broken servers, one table: each row says what the server sends and what the
// client must end with. Every row runs twice, through the control inside this process and
// through rariduze-fetch, and must end in its event and state within the time limits (2 s to
// connect, 2 s without a byte), with no handle and (where the platform can count them) no file
// descriptor left open.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/host.h"
#include "tests/support/internet_backend.h"
#include "tests/support/loopback_responder.h"
#include "tests/transfer/internet_file_fixture.h"

namespace rariduze::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

enum class Server {
  kScripted,     // the responder, with the row's replies
  kRefusedPort,  // a loopback port nothing listens on
  kUnknownHost,  // a name the resolver refuses on this machine
};

struct Row {
  std::string name;
  Server server = Server::kScripted;
  // One reply per connection, in order; connections past them get `otherwise`.
  std::vector<Reply> replies{};
  Reply otherwise{};  // closes at once
  // What the client ends with.
  bool exists = false;
  std::int32_t size = -1;
  std::string modified = "Not Available";
  std::vector<std::string> events{};
  std::optional<std::string> local{};  // the local file's bytes; nothing: no local file at all
  // Request lines ("GET /path") the server must have seen; empty: not checked.
  std::vector<std::string> requests{};
  std::size_t most_requests = 2;
};

// Failures name the row, not its bytes.
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

// A name whose 70-character label no resolver accepts: the lookup fails on this machine
// without a query leaving it.
const std::string kUnknownHost = std::string(70, 'a') + ".invalid";
const std::string kPath = "/setupZT.zip";
const std::string kDate = "Mon, 07 Oct 2024 08:00:00 GMT";
const std::string kShort = "0123456789";
const std::string kBody = Pattern(5000, 9);

// The answer to a HEAD request: the status line and header lines, no body.
Reply Head(const std::string& status_and_headers) {
  return Reply().Send(status_and_headers + "\r\n");
}

std::string Chunked(const std::string& body) {
  std::string text;
  for (std::size_t at = 0; at < body.size(); at += 1500) {
    std::string piece = body.substr(at, 1500);
    char size[16];
    std::snprintf(size, sizeof size, "%zx", piece.size());
    text += size + std::string("\r\n") + piece + "\r\n";
  }
  return text + "0\r\n\r\n";
}

std::string LongHeaders() {
  std::string headers;
  for (int i = 0; i < 30; ++i) {
    headers += "X-Pad-" + std::to_string(i) + ": " + std::string(40, 'p') + "\r\n";
  }
  return headers;
}

// The events of a whole body read in reads of up to 2048 bytes: one per read, the final empty
// read included, then complete.
std::vector<std::string> Completed(std::size_t size) {
  if (size == 0) return {"progress 0", "complete"};
  std::vector<std::string> events;
  for (std::size_t count = 2048; count < size; count += 2048) {
    events.push_back("progress " + std::to_string(count));
  }
  events.push_back("progress " + std::to_string(size));
  events.push_back("progress " + std::to_string(size));
  events.push_back("complete");
  return events;
}

const std::vector<std::string> kNotFound = {"error Could not find Url"};
const std::vector<std::string> kNotRead = {"error Could not read Url"};

std::vector<Row> Rows() {
  const std::string ok_line = "HTTP/1.1 200 OK";  // for whole answers
  const std::string ok = ok_line + "\r\n";
  const std::string length_5000 = "Content-Length: 5000\r\n";
  std::vector<Row> rows;

  // Nobody there: nothing found, nothing written.
  rows.push_back({.name = "ConnectionRefused",
                  .server = Server::kRefusedPort,
                  .events = kNotFound,
                  .most_requests = 0});
  rows.push_back({.name = "UnknownHost",
                  .server = Server::kUnknownHost,
                  .events = kNotFound,
                  .most_requests = 0});
  rows.push_back(
      {.name = "AcceptsAndNeverAnswers", .otherwise = Reply().Hold(), .events = kNotFound});
  rows.push_back({.name = "ClosesWithoutAWord", .events = kNotFound});
  if (InternetBackend().refuses_answers_without_status_line) {
    rows.push_back({.name = "AnswersWithSomethingElseThanHttp",
                    .otherwise = Reply().Send("220 ready for mail\r\n\r\n"),
                    .events = kNotFound});
  } else {
    // The platform's API still takes such an answer for a bare body (status 200) whose first
    // line it has swallowed: the HEAD finds a file of unknown size, the GET its last line.
    rows.push_back({.name = "AnswersWithSomethingElseThanHttp",
                    .otherwise = Reply().Send("220 ready for mail\r\n\r\n"),
                    .exists = true,
                    .events = Completed(2),
                    .local = "\r\n"});
  }

  // Bodies that end wrongly: the bytes that came are kept, and the run fails.
  rows.push_back({.name = "HeadersThenSilence",
                  .otherwise = Reply().Send(ok + length_5000 + "\r\n").Hold(),
                  .exists = true,
                  .size = 5000,
                  .events = kNotRead,
                  .local = ""});
  rows.push_back({.name = "BodyCutShort",
                  .replies = {Head(ok + length_5000),
                              Reply().Send(ok + length_5000 + "\r\n" + kBody.substr(0, 3000))},
                  .exists = true,
                  .size = 5000,
                  .events = {"progress 2048", "progress 3000", "error Could not read Url"},
                  .local = kBody.substr(0, 3000)});
  rows.push_back(
      {.name = "LengthLargerThanTheBodyAndTheConnectionKeptOpen",
       .replies = {Head(ok + length_5000),
                   Reply().Send(ok + length_5000 + "\r\n" + kBody.substr(0, 3000)).Hold()},
       .exists = true,
       .size = 5000,
       .events = {"progress 2048", "progress 3000", "error Could not read Url"},
       .local = kBody.substr(0, 3000)});
  // The length is believed: what comes after it is not part of the file.
  rows.push_back({.name = "LengthSmallerThanTheBody",
                  .replies = {Head(ok + "Content-Length: 10\r\n"),
                              Reply().Send(ok + "Content-Length: 10\r\n\r\n" + kShort + kShort)},
                  .exists = true,
                  .size = 10,
                  .events = Completed(10),
                  .local = kShort});
  rows.push_back(
      {.name = "ChunkedEncoding",
       .replies = {Head(ok + "Transfer-Encoding: chunked\r\n"),
                   Reply().Send(ok + "Transfer-Encoding: chunked\r\n\r\n" + Chunked(kBody))},
       .exists = true,
       .events = Completed(kBody.size()),
       .local = kBody});

  // Redirects: the final answer counts, and a loop ends.
  const std::string moved = "Location: /moved" + kPath + "\r\n";
  rows.push_back(
      {.name = "RedirectToAnotherPath",
       .replies = {Reply::Answer("HTTP/1.1 302 Found", "", moved),
                   Head(ok + "Last-Modified: " + kDate + "\r\n" + length_5000),
                   Reply::Answer("HTTP/1.1 302 Found", "", moved), Reply::Answer(ok_line, kBody)},
       .exists = true,
       .size = 5000,
       .modified = kDate,
       .events = Completed(kBody.size()),
       .local = kBody,
       .requests = {"HEAD " + kPath, "HEAD /moved" + kPath, "GET " + kPath, "GET /moved" + kPath},
       .most_requests = 4});
  // Only the web: a redirect elsewhere is refused, never followed to a local file or a server
  // of another kind.
  for (const auto& [name, target] :
       {std::pair<std::string, std::string>{"RedirectToAFileAddress", "file:///etc/hostname"},
        {"RedirectToAnFtpAddress", "ftp://127.0.0.1/setupZT.zip"}}) {
    rows.push_back(
        {.name = name,
         .otherwise = Reply::Answer("HTTP/1.1 302 Found", "", "Location: " + target + "\r\n"),
         .events = kNotFound,
         .requests = {"HEAD " + kPath, "GET " + kPath}});
  }
  rows.push_back(
      {.name = "RedirectLoop",
       .otherwise = Reply::Answer("HTTP/1.1 302 Found", "", "Location: " + kPath + "\r\n"),
       .events = kNotFound,
       .most_requests = 2 * 11});

  // Error statuses: only 404 and 410 say the file is missing; the download takes whatever
  // body the server sends, as for any other answer.
  struct Status {
    std::string name;
    std::string line;
    bool exists;
  };
  for (const Status& status :
       {Status{"NotFound404", "HTTP/1.1 404 File Not Found", false},
        Status{"Gone410", "HTTP/1.1 410 Gone", false},
        Status{"ServerError500", "HTTP/1.1 500 Internal Server Error", true}}) {
    const std::string page = "<h1>" + status.line + "</h1>";
    rows.push_back({.name = status.name + "WithBody",
                    .otherwise = Reply::Answer(status.line, page),
                    .exists = status.exists,
                    .size = static_cast<std::int32_t>(page.size()),
                    .events = Completed(page.size()),
                    .local = page});
    rows.push_back({.name = status.name + "WithoutBody",
                    .otherwise = Reply::Answer(status.line, ""),
                    .exists = status.exists,
                    .size = 0,
                    .events = Completed(0),
                    .local = ""});
  }
  rows.push_back(
      {.name = "HeadRefusedWith405",
       .replies = {Reply::Answer("HTTP/1.1 405 Method Not Allowed", "", "Allow: GET\r\n"),
                   Reply::Answer(ok_line, kBody)},
       .exists = true,
       .size = 0,
       .events = Completed(kBody.size()),
       .local = kBody,
       .requests = {"HEAD " + kPath, "GET " + kPath}});

  // Headers the size cannot hold or read: judged by the status alone, or no size.
  rows.push_back({.name = "HeaderBlockOver1024Bytes",
                  .otherwise = Reply::Answer(ok_line, kBody, LongHeaders()),
                  .exists = true,
                  .events = Completed(kBody.size()),
                  .local = kBody});
  rows.push_back({.name = "LengthOf3000000000",
                  .replies = {Head(ok + "Content-Length: 3000000000\r\n"),
                              Reply().Send(ok + "Content-Length: 3000000000\r\n\r\n" + kShort)},
                  .exists = true,
                  .events = {"progress 10", "error Could not read Url"},
                  .local = kShort});
  // A length that is no number at all: the headers were read, so the file is there with no
  // size; a body whose end cannot be known is not taken.
  rows.push_back({.name = "LengthOfAbc",
                  .replies = {Head(ok + "Content-Length: abc\r\n"),
                              Reply().Send(ok + "Content-Length: abc\r\n\r\n" + kShort)},
                  .exists = true,
                  .events = kNotFound});
  rows.push_back({.name = "StatusLineWithoutReason",
                  .otherwise = Reply::Answer("HTTP/1.1 200", kShort),
                  .exists = true,
                  .size = 10,
                  .events = Completed(kShort.size()),
                  .local = kShort});
  rows.push_back({.name = "NotFoundWithoutReason",
                  .otherwise = Reply::Answer("HTTP/1.1 404", kShort),
                  .exists = false,
                  .size = 10,
                  .events = Completed(kShort.size()),
                  .local = kShort});

  // Slow is not dead: a byte a second never trips the limit of 2 s without a byte.
  rows.push_back(
      {.name = "TricklesOneByteASecond",
       .replies = {Head(ok + "Content-Length: 3\r\n"),
                   Reply().Send(ok + "Content-Length: 3\r\n\r\n").Trickle("abc", 1, seconds(1))},
       .exists = true,
       .size = 3,
       // Handed over as it trickles in, so the caller's window is never held for long.
       .events = {"progress 1", "progress 2", "progress 3", "progress 3", "complete"},
       .local = "abc"});
  return rows;
}

// The request line without its protocol version: "GET /setupZT.zip".
std::vector<std::string> RequestLines(const std::vector<std::string>& requests) {
  std::vector<std::string> lines;
  for (const std::string& request : requests) {
    lines.push_back(request.substr(0, request.find(" HTTP/")));
  }
  return lines;
}

// Two requests, each cut off by the limits, the slowest script and room for a loaded machine.
constexpr auto kRowTimeBound = seconds(15);

class HostileServerTest : public InternetFileTest, public ::testing::WithParamInterface<Row> {
 protected:
  // Serves the row's script (when it has one) for the life of the object.
  class Scene {
   public:
    explicit Scene(const Row& row) {
      for (const Reply& reply : row.replies) responder_.Enqueue(reply);
      responder_.SetDefault(row.otherwise);
      switch (row.server) {
        case Server::kScripted:
          url_ = responder_.Url(kPath);
          break;
        case Server::kRefusedPort:
          url_ = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + kPath;
          break;
        case Server::kUnknownHost:
          url_ = "http://" + kUnknownHost + kPath;
          break;
      }
    }
    const std::string& url() const { return url_; }
    std::vector<std::string> Requests() const { return responder_.Requests(); }

   private:
    LoopbackResponder responder_;
    std::string url_;
  };

  void CheckLocalFile(const Row& row) {
    const std::string local = dir_.File("setupZT.zip");
    if (row.local) {
      EXPECT_TRUE(FileIsThere(local));
      EXPECT_TRUE(ReadFile(local) == *row.local) << ReadFile(local).size() << " bytes";
    } else {
      EXPECT_FALSE(FileIsThere(local));
    }
  }

  void CheckRequests(const Row& row, const std::vector<std::string>& requests) {
    EXPECT_LE(requests.size(), row.most_requests);
    if (!row.requests.empty()) {
      EXPECT_EQ(RequestLines(requests), row.requests);
    }
  }
};

TEST_P(HostileServerTest, ThroughTheControl) {
  const Row& row = GetParam();
  const std::optional<std::size_t> descriptors = OpenDescriptorCount();
  const auto started = std::chrono::steady_clock::now();
  {
    Scene scene(row);
    RecordingEvents events;
    {
      InternetFile control(internet_, ui_, FileSystem::Default(), host_);
      control.SetEvents(&events);
      control.SetConnectType(2);
      control.SetUrl(scene.url());
      control.SetLocalFile(dir_.File("setupZT.zip"));
      // The first run asks about the file itself.
      control.StartDownload();
      EXPECT_EQ(control.FileExists(), row.exists);
      EXPECT_EQ(control.FileSize(), row.size);
      EXPECT_EQ(control.LastModified(), row.modified);
      EXPECT_EQ(internet_.open_other_handles(), 0u);
    }
    EXPECT_EQ(events.lines, row.events);
    CheckLocalFile(row);
    CheckRequests(row, scene.Requests());
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, kRowTimeBound);
  EXPECT_EQ(internet_.open_sessions() + internet_.open_other_handles(), 0u);
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST_P(HostileServerTest, ThroughTheFetchTool) {
  const Row& row = GetParam();
  const std::optional<std::size_t> descriptors = OpenDescriptorCount();
  {
    Scene scene(row);
    ProgramRun run = RunProgram({RARIDUZE_FETCH, "--connect-type", "2", "--connect-seconds", "2",
                                 "--stall-seconds", "2", scene.url(), dir_.File("setupZT.zip")},
                                kRowTimeBound);
    ASSERT_FALSE(run.timed_out);
    std::string expected = "info exists=" + std::to_string(row.exists ? 1 : 0) +
                           " size=" + std::to_string(row.size) + " modified=" + row.modified + "\n";
    for (const std::string& line : row.events) expected += line + "\n";
    EXPECT_EQ(WithUnixLineEnds(run.output), expected);
    EXPECT_EQ(run.errors, "");
    // 0 after complete, 1 after an error.
    EXPECT_EQ(run.exit_status, row.events.back() == "complete" ? 0 : 1);
    CheckLocalFile(row);
    CheckRequests(row, scene.Requests());
  }
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

// A server that keeps sending interim answers never trips the stall limit: the wait for the
// final answer has a bound of its own.
class EndlessServerTest : public InternetFileTest {};

TEST_F(EndlessServerTest, InterimAnswersWithoutEndEndTheRunWithinTheLimits) {
  LoopbackResponder responder;
  Reply endless;
  for (int i = 0; i < 40; ++i)
    endless.Send("HTTP/1.1 100 Continue\r\n\r\n").Pause(milliseconds(500));
  responder.SetDefault(endless);
  const auto started = std::chrono::steady_clock::now();
  Download(responder.Url(kPath), dir_.File("setupZT.zip"));
  EXPECT_EQ(events_.lines, kNotFound);
  EXPECT_LT(std::chrono::steady_clock::now() - started, kRowTimeBound);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileServerTest, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
}  // namespace rariduze::testing
