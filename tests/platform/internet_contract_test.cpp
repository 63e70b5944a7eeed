// What every backend of the internet operations must do, against real nginx and a scripted
// responder: handles, bodies in whole reads, the time limits, redirects, read positions by
// ranges. The HEAD operations, proxies and https have a file of their own.

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
}  // namespace
}  // namespace rariduze::testing
