// What every backend of the internet operations must do, against real nginx, tinyproxy and a
// scripted responder: handles, bodies in whole reads, the time limits, redirects, read
// positions by ranges, the HEAD operations, sessions with and without a proxy, https.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/internet.h"
#include "tests/platform/internet_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/host.h"
#include "tests/support/loopback_responder.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_certificates.h"
#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"
#include "tests/support/tinyproxy_server.h"

namespace rariduze::testing {
namespace {

// A folder with a 5000-byte file, served by nginx.
class NginxInternetTest : public InternetTest {
 protected:
  NginxInternetTest() : content_(Pattern(5000)) {
    WriteFile(files_.File("file.bin"), content_);
    nginx_ = std::make_unique<NginxServer>(files_.path());
  }

  std::string HostOf(const NginxServer& server) const {
    return "127.0.0.1:" + std::to_string(server.port());
  }

  TestDir files_{"www"};
  std::string content_;
  std::unique_ptr<NginxServer> nginx_;
};

TEST_F(InternetTest, HandlesAreDistinctAndClosedOnesAreRefused) {
  EXPECT_NE(session_, 0u);
  InternetHandle other = api_->OpenSession(kAgent, InternetAccess::kPreconfigured, "");
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, session_);
  api_->CloseHandle(other);
  api_->CloseHandle(0);
  LoopbackResponder responder;
  EXPECT_EQ(api_->OpenUrl(other, responder.Url("/x")), 0u);
  EXPECT_EQ(api_->OpenSession(kAgent, static_cast<InternetAccess>(7), ""), 0u);

  char buffer[16];
  std::uint32_t read = 99;
  EXPECT_FALSE(api_->ReadFile(session_, buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(api_->SetFilePointer(0, 10), kInvalidSetFilePointer);
  EXPECT_EQ(api_->SetFilePointer(session_, 10), kInvalidSetFilePointer);
}

TEST_F(NginxInternetTest, BodyComesInFullReadsUntilAnEmptyOne) {
  Body body = Get(nginx_->Url("/file.bin"));
  EXPECT_TRUE(body.ok);
  EXPECT_EQ(body.reads, (std::vector<std::uint32_t>{2048, 2048, 904, 0}));
  EXPECT_TRUE(body.bytes == content_) << body.bytes.size();
}

TEST_F(InternetTest, RequestCarriesTheAgentAndAnErrorBodyIsReadLikeAnyOther) {
  LoopbackResponder responder;
  responder.Enqueue(Reply::Answer("HTTP/1.1 404 File Not Found", "no such file"));
  Body body = Get(responder.Url("/missing"));
  EXPECT_TRUE(body.ok);
  EXPECT_EQ(body.bytes, "no such file");
  ASSERT_EQ(responder.Requests().size(), 1u);
  const std::string request = responder.Requests()[0];
  EXPECT_TRUE(request.starts_with("GET /missing HTTP/1.1\r\n")) << request;
  EXPECT_NE(request.find(std::string("User-Agent: ") + kAgent + "\r\n"), std::string::npos);
}

TEST_F(InternetTest, AddressesThatCannotBeOpenedGiveNoHandle) {
  std::uint16_t closed_port = FreeLoopbackPort();
  EXPECT_EQ(api_->OpenUrl(session_, "http://127.0.0.1:" + std::to_string(closed_port) + "/x"), 0u);
  EXPECT_EQ(api_->OpenUrl(session_, "http://" + kUnknownHost + "/x"), 0u);
  EXPECT_EQ(api_->OpenUrl(session_, ""), 0u);
  EXPECT_EQ(api_->OpenUrl(session_, "not an address"), 0u);
  LoopbackResponder responder;
  responder.SetDefault(Reply::Answer("HTTP/1.1 200 OK", "file"));
  // Only web addresses are fetched.
  EXPECT_EQ(api_->OpenUrl(session_, "file:///etc/passwd"), 0u);
  EXPECT_EQ(api_->OpenUrl(session_, "ftp://127.0.0.1:" + std::to_string(responder.port())), 0u);
  // Blanks and line breaks never reach a request line.
  EXPECT_EQ(api_->OpenUrl(session_, responder.Url("/a b")), 0u);
  EXPECT_EQ(api_->OpenUrl(session_, responder.Url("/a\r\nX-Injected: 1")), 0u);
  EXPECT_TRUE(responder.Requests().empty());
}

TEST_F(InternetTest, SilentServerEndsTheOpenInsteadOfHanging) {
  LoopbackResponder responder;
  responder.Enqueue(Reply().Hold());
  EXPECT_EQ(api_->OpenUrl(session_, responder.Url("/x")), 0u);
}

TEST_F(InternetTest, HeadersThenSilenceOpensButTheReadFails) {
  LoopbackResponder responder;
  responder.Enqueue(Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc").Hold());
  InternetHandle url = api_->OpenUrl(session_, responder.Url("/x"));
  ASSERT_NE(url, 0u);
  char buffer[kMaxReadSize];
  std::uint32_t read = 0;
  // The bytes that came are handed out; the silence then fails the next read.
  ASSERT_TRUE(api_->ReadFile(url, buffer, sizeof buffer, &read));
  EXPECT_EQ(std::string(buffer, read), "abc");
  EXPECT_FALSE(api_->ReadFile(url, buffer, sizeof buffer, &read));
  api_->CloseHandle(url);
}

TEST_F(InternetTest, BodyCutShortFailsAfterTheBytesThatCame) {
  LoopbackResponder responder;
  std::string body = Pattern(3000);
  responder.Enqueue(Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + body));
  Body got = Get(responder.Url("/x"));
  EXPECT_FALSE(got.ok);
  EXPECT_EQ(got.reads, (std::vector<std::uint32_t>{2048, 952}));
  EXPECT_TRUE(got.bytes == body) << got.bytes.size();
}

TEST_F(InternetTest, BodiesWithoutOrWithAShortLengthEndWhereTheServerSays) {
  LoopbackResponder responder;
  std::string body = Pattern(4000);
  responder.Enqueue(Reply().Send("HTTP/1.0 200 OK\r\n\r\n" + body));
  responder.Enqueue(Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n" + body));
  Body unsized = Get(responder.Url("/a"));
  EXPECT_TRUE(unsized.ok);
  EXPECT_TRUE(unsized.bytes == body) << unsized.bytes.size();
  Body shorter = Get(responder.Url("/b"));
  EXPECT_TRUE(shorter.ok);
  EXPECT_EQ(shorter.bytes, body.substr(0, 10));
}

// The pieces of a trickle come far faster, or far slower, than a read waits for the rest of
// its buffer, so no scheduling delay decides the read sizes: the three pieces that fill a read
// within a tenth of that wait, or one piece per ten times it.
constexpr std::chrono::milliseconds kQuickPieces{kPartialReadWaitMs / 20};
constexpr std::chrono::milliseconds kSlowPieces{10 * kPartialReadWaitMs};

TEST_F(InternetTest, QuickPiecesAreGatheredIntoWholeReads) {
  LoopbackResponder responder;
  std::string body = Pattern(3000);
  responder.Enqueue(Reply()
                        .Send("HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n")
                        .Trickle(body, 1000, kQuickPieces));
  Body got = Get(responder.Url("/x"));
  EXPECT_TRUE(got.ok);
  EXPECT_TRUE(got.bytes == body) << got.bytes.size();
  EXPECT_EQ(got.reads, (std::vector<std::uint32_t>{2048, 952, 0}));
}

class InternetPatientTest : public InternetTest {
 protected:
  InternetPatientTest() : InternetTest(ShortLimits(10)) {}
};

TEST_F(InternetPatientTest, SlowPiecesAreHandedOverAsTheyComeWithinTheStallLimit) {
  LoopbackResponder responder;
  std::string body = Pattern(2000);
  responder.Enqueue(Reply()
                        .Send("HTTP/1.1 200 OK\r\nContent-Length: 2000\r\n\r\n")
                        .Trickle(body, 1000, kSlowPieces));
  Body got = Get(responder.Url("/x"));
  EXPECT_TRUE(got.ok);
  EXPECT_TRUE(got.bytes == body) << got.bytes.size();
  // A read does not sit on the bytes it has while the next piece is still on its way.
  EXPECT_EQ(got.reads, (std::vector<std::uint32_t>{1000, 1000, 0}));
}

class InternetSlowReaderTest : public InternetTest {
 protected:
  InternetSlowReaderTest() : InternetTest(ShortLimits(1)) {}
};

TEST_F(InternetSlowReaderTest, ACallerThatTakesLongerThanTheStallLimitIsNotCutOff) {
  LoopbackResponder responder;
  std::string body = Pattern(600 * 1024);
  responder.Enqueue(Reply::Answer("HTTP/1.1 200 OK", body));
  InternetHandle url = api_->OpenUrl(session_, responder.Url("/x"));
  ASSERT_NE(url, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  Body got = ReadAll(url);
  api_->CloseHandle(url);
  EXPECT_TRUE(got.ok);
  EXPECT_EQ(got.bytes.size(), body.size());
  EXPECT_TRUE(got.bytes == body);
}

TEST_F(NginxInternetTest, RedirectsAreFollowedButNotForever) {
  LoopbackResponder responder;
  responder.Enqueue(
      Reply::Answer("HTTP/1.1 302 Found", "", "Location: " + nginx_->Url("/file.bin") + "\r\n"));
  Body body = Get(responder.Url("/moved"));
  EXPECT_TRUE(body.ok);
  EXPECT_TRUE(body.bytes == content_) << body.bytes.size();

  responder.SetDefault(
      Reply::Answer("HTTP/1.1 301 Moved", "", "Location: " + responder.Url("/again") + "\r\n"));
  EXPECT_EQ(api_->OpenUrl(session_, responder.Url("/loop")), 0u);
  EXPECT_LE(responder.Requests().size(), 14u);
}

TEST_F(InternetTest, RedirectsGoToWebAddressesOnly) {
  LoopbackResponder responder;
  responder.SetDefault(Reply::Answer("HTTP/1.1 302 Found", "", "Location: file:///etc/passwd\r\n"));
  EXPECT_EQ(api_->OpenUrl(session_, responder.Url("/x")), 0u);
  EXPECT_EQ(responder.Requests().size(), 1u);
}

TEST_F(NginxInternetTest, SetFilePointerAsksForTheRestWithARange) {
  InternetHandle url = api_->OpenUrl(session_, nginx_->Url("/file.bin"));
  ASSERT_NE(url, 0u);
  EXPECT_EQ(api_->SetFilePointer(url, 1000), 1000);
  Body rest = ReadAll(url);
  api_->CloseHandle(url);
  EXPECT_TRUE(rest.ok);
  EXPECT_TRUE(rest.bytes == content_.substr(1000)) << rest.bytes.size();
  // nginx logs a request after the last byte has gone out, maybe after the body has arrived.
  const std::string log = nginx_->AccessLogSynced();
  EXPECT_NE(log.find("GET /file.bin HTTP/1.1 206 4000 range=\"bytes=1000-\""), std::string::npos)
      << log;
}

TEST_F(NginxInternetTest, SetFilePointerPastTheEndFails) {
  InternetHandle url = api_->OpenUrl(session_, nginx_->Url("/file.bin"));
  ASSERT_NE(url, 0u);
  // nginx answers 416: there is no such position, whatever the answer's body.
  EXPECT_EQ(api_->SetFilePointer(url, 5000), kInvalidSetFilePointer);
  char buffer[16];
  std::uint32_t read = 0;
  EXPECT_FALSE(api_->ReadFile(url, buffer, sizeof buffer, &read));
  api_->CloseHandle(url);

  url = api_->OpenUrl(session_, nginx_->Url("/none.bin"));
  ASSERT_NE(url, 0u);
  EXPECT_EQ(api_->SetFilePointer(url, 10), kInvalidSetFilePointer);
  api_->CloseHandle(url);
}

TEST_F(InternetTest, ServerThatIgnoresRangesHasTheFirstBytesSkipped) {
  LoopbackResponder responder;
  std::string body = Pattern(5000);
  responder.Enqueue(Reply::Answer("HTTP/1.1 200 OK", body));
  responder.Enqueue(Reply::Answer("HTTP/1.1 200 OK", body));
  InternetHandle url = api_->OpenUrl(session_, responder.Url("/x"));
  ASSERT_NE(url, 0u);
  EXPECT_EQ(api_->SetFilePointer(url, 3000), 3000);
  Body rest = ReadAll(url);
  api_->CloseHandle(url);
  EXPECT_TRUE(rest.ok);
  EXPECT_TRUE(rest.bytes == body.substr(3000)) << rest.bytes.size();
  ASSERT_EQ(responder.Requests().size(), 2u);
  EXPECT_NE(responder.Requests()[1].find("Range: bytes=3000-\r\n"), std::string::npos);
}

TEST_F(InternetTest, RangesThatDoNotStartWhereAskedOrBodiesTooShortFail) {
  LoopbackResponder responder;
  std::string body = Pattern(100);
  for (const Reply& second : {
           Reply::Answer("HTTP/1.1 206 Partial Content", body.substr(10),
                         "Content-Range: bytes 10-99/100\r\n"),
           Reply::Answer("HTTP/1.1 200 OK", body),
           Reply::Answer("HTTP/1.1 500 Server Error", body),
       }) {
    responder.Enqueue(Reply::Answer("HTTP/1.1 200 OK", body));
    responder.Enqueue(second);
    InternetHandle url = api_->OpenUrl(session_, responder.Url("/x"));
    ASSERT_NE(url, 0u);
    EXPECT_EQ(api_->SetFilePointer(url, 150), kInvalidSetFilePointer);
    api_->CloseHandle(url);
  }
}

// A range that starts where asked but stops before the file does would end the body early,
// with the rest of the file never asked for.
TEST_F(InternetTest, ARangeThatEndsBeforeTheFileDoesFails) {
  LoopbackResponder responder;
  std::string body = Pattern(1000);
  for (const char* range : {"bytes 300-399/1000", "bytes 300-999/1001", "bytes 300-299/1000",
                            "bytes 300-999/many", "lines 300-999/1000"}) {
    SCOPED_TRACE(range);
    responder.Enqueue(Reply::Answer("HTTP/1.1 200 OK", body));
    responder.Enqueue(Reply::Answer("HTTP/1.1 206 Partial Content", body.substr(300, 100),
                                    std::string("Content-Range: ") + range + "\r\n"));
    InternetHandle url = api_->OpenUrl(session_, responder.Url("/x"));
    ASSERT_NE(url, 0u);
    EXPECT_EQ(api_->SetFilePointer(url, 300), kInvalidSetFilePointer);
    char buffer[16];
    std::uint32_t read = 0;
    EXPECT_FALSE(api_->ReadFile(url, buffer, sizeof buffer, &read));
    api_->CloseHandle(url);
  }
}

// The value of a header line in a header block ("Name: value\r\n"); empty when it is not there.
std::string HeaderValue(const std::string& block, const std::string& name) {
  const std::size_t at = block.find("\r\n" + name + ": ");
  if (at == std::string::npos) return {};
  const std::size_t from = at + name.size() + 4;
  return block.substr(from, block.find("\r\n", from) - from);
}

// Positioning with the date the file had: nginx sends the rest while the file is that one,
// and the whole file, from byte 0, once it is another.
TEST_F(NginxInternetTest, SetFilePointerIfUnchangedGoesOnOnlyWithTheSameFile) {
  const std::string modified =
      HeaderValue(Head(HostOf(*nginx_), "/file.bin").headers, "Last-Modified");
  ASSERT_TRUE(modified.ends_with(" GMT")) << modified;
  InternetHandle url = api_->OpenUrl(session_, nginx_->Url("/file.bin"));
  ASSERT_NE(url, 0u);
  EXPECT_EQ(api_->SetFilePointerIfUnchanged(url, 1000, modified), 1000);
  Body rest = ReadAll(url);
  api_->CloseHandle(url);
  EXPECT_TRUE(rest.ok);
  EXPECT_TRUE(rest.bytes == content_.substr(1000)) << rest.bytes.size();

  url = api_->OpenUrl(session_, nginx_->Url("/file.bin"));
  ASSERT_NE(url, 0u);
  EXPECT_EQ(api_->SetFilePointerIfUnchanged(url, 1000, "Mon, 07 Oct 2024 08:00:00 GMT"), 0);
  Body whole = ReadAll(url);
  api_->CloseHandle(url);
  EXPECT_TRUE(whole.ok);
  EXPECT_TRUE(whole.bytes == content_) << whole.bytes.size();

  const std::string log = nginx_->AccessLogSynced();
  EXPECT_NE(log.find("GET /file.bin HTTP/1.1 206 4000 range=\"bytes=1000-\""), std::string::npos)
      << log;
  EXPECT_NE(log.find("GET /file.bin HTTP/1.1 200 5000 range=\"bytes=1000-\""), std::string::npos)
      << log;
}

TEST_F(InternetTest, SetFilePointerIfUnchangedSendsTheValidatorAsItIs) {
  LoopbackResponder responder;
  const std::string body = Pattern(100);
  responder.Enqueue(Reply::Answer("HTTP/1.1 200 OK", body));
  responder.Enqueue(Reply::Answer("HTTP/1.1 206 Partial Content", body.substr(40),
                                  "Content-Range: bytes 40-99/100\r\n"));
  InternetHandle url = api_->OpenUrl(session_, responder.Url("/x"));
  ASSERT_NE(url, 0u);
  const std::string validator = "Tue, 08 Oct 2024 08:00:00 GMT";
  EXPECT_EQ(api_->SetFilePointerIfUnchanged(url, 40, validator), 40);
  EXPECT_TRUE(ReadAll(url).bytes == body.substr(40));
  // One that could end the header line is no validator: nothing is asked.
  for (const std::string& broken :
       {std::string(), validator + "\r\nX-Smuggled: 1", validator + "\n", std::string("a\0b", 3)}) {
    EXPECT_EQ(api_->SetFilePointerIfUnchanged(url, -10, broken), kInvalidSetFilePointer);
  }
  // Staying where the read is asks nothing either.
  EXPECT_EQ(api_->SetFilePointerIfUnchanged(url, 0, validator), 100);
  api_->CloseHandle(url);
  const std::vector<std::string> requests = responder.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].find("If-Range"), std::string::npos) << requests[0];
  EXPECT_NE((requests[1] + "\r\n").find("\r\nIf-Range: " + validator + "\r\n"), std::string::npos)
      << requests[1];
  EXPECT_NE(requests[1].find("\r\nRange: bytes=40-"), std::string::npos) << requests[1];
}

// The HEAD operations against the scripted responder.
class InternetHeadRequestTest : public InternetTest {
 protected:
  std::string Host() const { return "127.0.0.1:" + std::to_string(responder_.port()); }

  LoopbackResponder responder_;
};

TEST_F(InternetHeadRequestTest, RawHeadersAreTheStatusAndHeaderLinesEndedByCrLf) {
  responder_.Enqueue(Reply().Send(
      "HTTP/1.1 200 OK\r\nLast-Modified: Tue, 01 Oct 2024 10:00:00 GMT\nContent-Length: 5000\r\n"
      "\r\n"));
  HeadAnswer answer = Head(Host(), "/dir/file.dat");
  EXPECT_TRUE(answer.headers_ok);
  EXPECT_EQ(answer.headers,
            "HTTP/1.1 200 OK\r\nLast-Modified: Tue, 01 Oct 2024 10:00:00 GMT\r\n"
            "Content-Length: 5000\r\n\r\n");
  EXPECT_EQ(answer.status, "200");
  ASSERT_EQ(responder_.Requests().size(), 1u);
  const std::string request = responder_.Requests()[0];
  EXPECT_TRUE(request.starts_with("HEAD /dir/file.dat HTTP/1.0\r\n")) << request;
  EXPECT_NE(request.find(std::string("User-Agent: ") + kAgent + "\r\n"), std::string::npos);
  EXPECT_NE(request.find("Cache-Control: no-cache"), std::string::npos);
  EXPECT_EQ(request.find("Authorization:"), std::string::npos);
}

TEST_F(InternetHeadRequestTest, TheFinalAnswerOfARedirectIsReported) {
  responder_.Enqueue(
      Reply::Answer("HTTP/1.1 302 Found", "", "Location: " + responder_.Url("/there") + "\r\n"));
  responder_.Enqueue(Reply().Send("HTTP/1.0 404 Not Found\r\nX-A: b\r\n\r\n"));
  HeadAnswer answer = Head(Host(), "/here");
  EXPECT_EQ(answer.headers, "HTTP/1.0 404 Not Found\r\nX-A: b\r\n\r\n");
  EXPECT_EQ(answer.status, "404");
  ASSERT_EQ(responder_.Requests().size(), 2u);
  EXPECT_TRUE(responder_.Requests()[1].starts_with("HEAD /there HTTP/1.0\r\n"));
}

TEST_F(InternetHeadRequestTest, HeadersLongerThanTheBufferFailButTheStatusIsThere) {
  std::string headers;
  for (int i = 0; i < 30; ++i)
    headers += "X-Padding-" + std::to_string(i) + ": " + std::string(30, 'p') + "\r\n";
  responder_.Enqueue(Reply::Answer("HTTP/1.1 200 OK", "", headers));
  HeadAnswer answer = Head(Host(), "/x");
  EXPECT_FALSE(answer.headers_ok);
  EXPECT_TRUE(answer.status_ok);
  EXPECT_EQ(answer.status, "200");
}

TEST_F(InternetHeadRequestTest, CredentialsGoOnlyWithAUserName) {
  responder_.SetDefault(Reply::Answer("HTTP/1.1 200 OK", ""));
  Head(Host(), "/x", "user", "secret");
  Head(Host(), "/x", "", "secret");
  std::vector<std::string> requests = responder_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[0].find("Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"), std::string::npos);
  EXPECT_EQ(requests[1].find("Authorization:"), std::string::npos);
}

TEST_F(InternetHeadRequestTest, CredentialsDoNotFollowARedirectToAnotherServer) {
  LoopbackResponder other;
  other.SetDefault(Reply::Answer("HTTP/1.1 200 OK", ""));
  responder_.Enqueue(
      Reply::Answer("HTTP/1.1 302 Found", "", "Location: " + other.Url("/there") + "\r\n"));
  HeadAnswer answer = Head(Host(), "/here", "user", "secret");
  EXPECT_EQ(answer.status, "200");
  ASSERT_EQ(responder_.Requests().size(), 1u);
  EXPECT_NE(responder_.Requests()[0].find("Authorization: Basic"), std::string::npos);
  ASSERT_EQ(other.Requests().size(), 1u);
  EXPECT_EQ(other.Requests()[0].find("Authorization:"), std::string::npos) << other.Requests()[0];
}

TEST_F(InternetHeadRequestTest, NoAnswerMeansNeitherHeadersNorStatus) {
  responder_.Enqueue(Reply().Hold());
  HeadAnswer silent = Head(Host(), "/x");
  EXPECT_FALSE(silent.headers_ok);
  EXPECT_FALSE(silent.status_ok);

  responder_.Enqueue(Reply());  // closes without a word
  HeadAnswer closed = Head(Host(), "/x");
  EXPECT_FALSE(closed.headers_ok);
  EXPECT_FALSE(closed.status_ok);

  std::uint16_t closed_port = FreeLoopbackPort();
  HeadAnswer refused = Head("127.0.0.1:" + std::to_string(closed_port), "/x");
  EXPECT_FALSE(refused.headers_ok);
  EXPECT_FALSE(refused.status_ok);
}

// Without a body a length that is no number describes nothing: the headers were read.
TEST_F(InternetHeadRequestTest, AnAnswerWithALengthThatIsNoNumberKeepsItsHeaders) {
  responder_.Enqueue(Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\n"));
  HeadAnswer answer = Head(Host(), "/x");
  EXPECT_TRUE(answer.headers_ok);
  EXPECT_NE(answer.headers.find("Content-Length: abc\r\n"), std::string::npos) << answer.headers;
  EXPECT_TRUE(answer.status_ok);
  EXPECT_EQ(answer.status, "200");
}

TEST_F(InternetHeadRequestTest, HostTextsThatAreNoHostAreRefused) {
  EXPECT_EQ(api_->Connect(session_, "", kDefaultHttpPort, "", ""), 0u);
  EXPECT_EQ(api_->Connect(session_, "me@" + Host(), kDefaultHttpPort, "", ""), 0u);
  EXPECT_EQ(api_->Connect(session_, Host() + "/x", kDefaultHttpPort, "", ""), 0u);
  EXPECT_EQ(api_->Connect(0, Host(), kDefaultHttpPort, "", ""), 0u);
  EXPECT_EQ(api_->OpenRequest(0, "HEAD", "/x", "HTTP/1.0", 0), 0u);
  EXPECT_TRUE(responder_.Requests().empty());
}

TEST_F(InternetHeadRequestTest, ATooSmallBufferFailsTheQuery) {
  responder_.Enqueue(Reply::Answer("HTTP/1.1 200 OK", ""));
  InternetHandle connection = api_->Connect(session_, Host(), kDefaultHttpPort, "", "");
  InternetHandle request = api_->OpenRequest(connection, "HEAD", "/x", "HTTP/1.0", 0);
  api_->SendRequest(request);
  char buffer[16];
  std::uint32_t length = sizeof buffer;
  EXPECT_FALSE(api_->QueryRawHeaders(request, buffer, &length));
  EXPECT_GT(length, 16u);
  length = 3;  // no room for the NUL
  EXPECT_FALSE(api_->QueryStatusCode(request, buffer, &length));
  length = 4;
  EXPECT_TRUE(api_->QueryStatusCode(request, buffer, &length));
  EXPECT_STREQ(buffer, "200");
  api_->CloseHandle(request);
  api_->CloseHandle(connection);
}

TEST_F(NginxInternetTest, HeadAgainstNginxGivesItsHeaders) {
  HeadAnswer answer = Head(HostOf(*nginx_), "/file.bin");
  ASSERT_TRUE(answer.headers_ok);
  EXPECT_TRUE(answer.headers.starts_with("HTTP/1.1 200 OK\r\n")) << answer.headers;
  EXPECT_NE(answer.headers.find("\r\nContent-Length: 5000\r\n"), std::string::npos);
  EXPECT_NE(answer.headers.find("\r\nLast-Modified: "), std::string::npos);
  EXPECT_TRUE(answer.headers.ends_with("\r\n\r\n"));
}

// Sessions: the system's settings, a named proxy, or direct.
class InternetProxyTest : public NginxInternetTest {
 protected:
  bool ProxySaw(const std::string& request) const {
    return proxy_.Log().find(request + " HTTP/1.") != std::string::npos;
  }
  // Fetches the file through a session of its own and closes it again.
  Body GetThrough(InternetAccess access, const std::string& proxy) {
    InternetHandle session = api_->OpenSession(kAgent, access, proxy);
    Body body = Get(*api_, session, nginx_->Url("/file.bin"));
    api_->CloseHandle(session);
    return body;
  }

  TinyproxyServer proxy_;
};

TEST_F(InternetProxyTest, ANamedProxyCarriesTheGetAndTheHead) {
  Body body = GetThrough(InternetAccess::kProxy, proxy_.Address());
  EXPECT_TRUE(body.ok);
  EXPECT_TRUE(body.bytes == content_);
  EXPECT_TRUE(ProxySaw("GET " + nginx_->Url("/file.bin"))) << proxy_.Log();

  InternetHandle session = api_->OpenSession(kAgent, InternetAccess::kProxy, proxy_.Address());
  HeadAnswer answer = Head(*api_, session, HostOf(*nginx_), "/file.bin");
  api_->CloseHandle(session);
  EXPECT_EQ(answer.status, "200");
  EXPECT_TRUE(ProxySaw("HEAD " + nginx_->Url("/file.bin"))) << proxy_.Log();
}

TEST_F(InternetProxyTest, TheSystemSettingsNameTheProxyAndDirectIgnoresThem) {
  ScopedSystemProxy system_proxy(proxy_.Address());
  EXPECT_TRUE(GetThrough(InternetAccess::kDirect, "").ok);
  EXPECT_FALSE(ProxySaw("GET " + nginx_->Url("/file.bin"))) << proxy_.Log();
  EXPECT_TRUE(GetThrough(InternetAccess::kPreconfigured, "").ok);
  EXPECT_TRUE(ProxySaw("GET " + nginx_->Url("/file.bin"))) << proxy_.Log();
}

TEST_F(InternetProxyTest, AProxyThatNamesNoServerCarriesNothing) {
  // The file is there for a direct session; a proxy of only a port never goes direct instead.
  ASSERT_TRUE(GetThrough(InternetAccess::kDirect, "").ok);
  EXPECT_FALSE(GetThrough(InternetAccess::kProxy, ":" + std::to_string(proxy_.port())).ok);
  const std::string log = nginx_->AccessLogSynced();
  EXPECT_NE(log.find("GET /file.bin"), std::string::npos) << log;
  EXPECT_EQ(log.find("GET /file.bin"), log.rfind("GET /file.bin")) << log;
}

// https with verification, by the name the certificate carries.
class HttpsInternetTest : public ::testing::Test {
 protected:
  // The trusted authority first: the platform may read its trusted authorities only once.
  HttpsInternetTest() : trusted_(TrustedTestAuthority()) {
    WriteFile(files_.File("file.bin"), "secret bytes");
  }

  void Serve(const ServerCertificate& certificate) {
    nginx_ = std::make_unique<NginxServer>(HttpsNginxOptions(files_.path(), certificate));
  }
  std::string Host() const { return "localhost:" + std::to_string(nginx_->port()); }
  std::string Url() const { return "https://" + Host() + "/file.bin"; }

  // A HEAD and a GET, as the updater makes them, through internet operations that trust
  // ca_file (empty: the system's store).
  std::pair<Body, HeadAnswer> Fetch(const std::string& ca_file) {
    std::unique_ptr<InternetApi> api = CreateInternetApi(ShortLimits(2, ca_file));
    InternetHandle session = api->OpenSession(kAgent, InternetAccess::kDirect, "");
    HeadAnswer head = InternetTest::Head(*api, session, Host(), "/file.bin", {}, {},
                                         kRequestReload | kRequestSecure);
    Body body = InternetTest::Get(*api, session, Url());
    api->CloseHandle(session);
    return {body, head};
  }

  void ExpectRefused(const std::pair<Body, HeadAnswer>& fetched) {
    EXPECT_FALSE(fetched.first.ok);
    EXPECT_EQ(fetched.first.bytes, "");
    EXPECT_FALSE(fetched.second.status_ok);
    // Not one request reached the server.
    EXPECT_EQ(nginx_->AccessLogSynced(), "");
  }

  TestCertificateAuthority& trusted_;
  TestDir files_{"www"};
  std::unique_ptr<NginxServer> nginx_;
};

TEST_F(HttpsInternetTest, ATrustedCertificateServesTheGetAndTheHead) {
  Serve(trusted_.Issue("server", {"DNS:localhost"}));
  auto [body, head] = Fetch(TrustedCaFile());
  EXPECT_TRUE(body.ok);
  EXPECT_EQ(body.bytes, "secret bytes");
  EXPECT_EQ(head.status, "200");
  EXPECT_NE(nginx_->AccessLogSynced().find("HEAD /file.bin HTTP/1.0 200"), std::string::npos);
}

TEST_F(HttpsInternetTest, AnAuthorityNobodyTrustsIsRefused) {
  TestCertificateAuthority stranger;
  Serve(stranger.Issue("server", {"DNS:localhost"}));
  ExpectRefused(Fetch(""));
  ExpectRefused(Fetch(TrustedCaFile()));
}

TEST_F(HttpsInternetTest, ACertificateForAnotherNameIsRefused) {
  Serve(trusted_.Issue("elsewhere", {"DNS:updates.example.test"}));
  ExpectRefused(Fetch(TrustedCaFile()));
}

}  // namespace
}  // namespace rariduze::testing
