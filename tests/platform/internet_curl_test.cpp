#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/internet.h"
#include "tests/support/child_process.h"
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

const char* const kAgent = "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; DigExt)";

// A name whose 70-character label no resolver accepts: the lookup fails on this machine
// without a query leaving it.
const std::string kUnknownHost = std::string(70, 'a') + ".invalid";

struct Body {
  bool ok = false;
  std::string bytes;
  std::vector<std::uint32_t> reads;
};

class InternetCurlTest : public ::testing::Test {
 protected:
  explicit InternetCurlTest(long stall_seconds = 2) {
    InternetOptions options;
    options.limits.connect_seconds = 2;
    options.limits.stall_seconds = stall_seconds;
    api_ = CreateInternetApi(options);
    session_ = api_->OpenSession(kAgent, InternetAccess::kDirect, "");
  }
  ~InternetCurlTest() override { api_->CloseHandle(session_); }

  // Reads in 2048-byte calls until the body ends or a read fails (bounded).
  Body ReadAll(InternetHandle url) {
    Body body;
    char buffer[kMaxReadSize];
    for (int i = 0; i < 100000; ++i) {
      std::uint32_t read = 0;
      if (!api_->ReadFile(url, buffer, sizeof buffer, &read)) return body;
      body.reads.push_back(read);
      if (read == 0) {
        body.ok = true;
        return body;
      }
      body.bytes.append(buffer, read);
    }
    return body;
  }

  Body Get(const std::string& url) {
    InternetHandle handle = api_->OpenUrl(session_, url);
    if (handle == 0) return {};
    Body body = ReadAll(handle);
    api_->CloseHandle(handle);
    return body;
  }

  std::unique_ptr<InternetApi> api_;
  InternetHandle session_ = 0;
};

// A folder with a 5000-byte file, served by nginx.
class NginxInternetTest : public InternetCurlTest {
 protected:
  NginxInternetTest() : content_(Pattern(5000)) {
    testing::WriteFile(files_.File("file.bin"), content_);
    nginx_ = std::make_unique<NginxServer>(files_.path());
  }

  TestDir files_{"www"};
  std::string content_;
  std::unique_ptr<NginxServer> nginx_;
};

TEST_F(InternetCurlTest, HandlesAreDistinctAndClosedOnesAreRefused) {
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
  EXPECT_EQ(api_->SetFilePointer(0, 10), kInvalidSetFilePointer);
}

TEST_F(NginxInternetTest, BodyComesInFullReadsUntilAnEmptyOne) {
  Body body = Get(nginx_->Url("/file.bin"));
  EXPECT_TRUE(body.ok);
  EXPECT_EQ(body.reads, (std::vector<std::uint32_t>{2048, 2048, 904, 0}));
  EXPECT_TRUE(body.bytes == content_) << body.bytes.size();
}

TEST_F(InternetCurlTest, RequestCarriesTheAgentAndAnErrorBodyIsReadLikeAnyOther) {
  LoopbackResponder responder;
  responder.Enqueue(Reply::Answer("HTTP/1.1 404 File Not Found", "no such file"));
  Body body = Get(responder.Url("/missing"));
  EXPECT_TRUE(body.ok);
  EXPECT_EQ(body.bytes, "no such file");
  ASSERT_EQ(responder.Requests().size(), 1u);
  EXPECT_NE(responder.Requests()[0].find(std::string("User-Agent: ") + kAgent + "\r\n"),
            std::string::npos);
}

TEST_F(InternetCurlTest, AddressesThatCannotBeOpenedGiveNoHandle) {
  std::uint16_t closed_port = testing::FreeLoopbackPort();
  EXPECT_EQ(api_->OpenUrl(session_, "http://127.0.0.1:" + std::to_string(closed_port) + "/x"), 0u);
  EXPECT_EQ(api_->OpenUrl(session_, "http://" + kUnknownHost + "/x"), 0u);
  EXPECT_EQ(api_->OpenUrl(session_, ""), 0u);
  EXPECT_EQ(api_->OpenUrl(session_, "not an address"), 0u);
  LoopbackResponder responder;
  responder.SetDefault(Reply::Answer("HTTP/1.1 200 OK", "file"));
  // Only web addresses are fetched.
  EXPECT_EQ(api_->OpenUrl(session_, "file:///etc/passwd"), 0u);
  EXPECT_EQ(api_->OpenUrl(session_, "ftp://127.0.0.1:" + std::to_string(responder.port())), 0u);
}

TEST_F(InternetCurlTest, SilentServerEndsTheOpenInsteadOfHanging) {
  LoopbackResponder responder;
  responder.Enqueue(Reply().Hold());
  EXPECT_EQ(api_->OpenUrl(session_, responder.Url("/x")), 0u);
}

TEST_F(InternetCurlTest, HeadersThenSilenceOpensButTheReadFails) {
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

TEST_F(InternetCurlTest, BodyCutShortFailsAfterTheBytesThatCame) {
  LoopbackResponder responder;
  std::string body = Pattern(3000);
  responder.Enqueue(Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + body));
  Body got = Get(responder.Url("/x"));
  EXPECT_FALSE(got.ok);
  EXPECT_EQ(got.reads, (std::vector<std::uint32_t>{2048, 952}));
  EXPECT_TRUE(got.bytes == body) << got.bytes.size();
}

TEST_F(InternetCurlTest, BodiesWithoutOrWithAShortLengthEndWhereTheServerSays) {
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

TEST_F(InternetCurlTest, QuickPiecesAreGatheredIntoWholeReads) {
  LoopbackResponder responder;
  std::string body = Pattern(3000);
  responder.Enqueue(Reply()
                        .Send("HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n")
                        .Trickle(body, 500, std::chrono::milliseconds(30)));
  Body got = Get(responder.Url("/x"));
  EXPECT_TRUE(got.ok);
  EXPECT_TRUE(got.bytes == body) << got.bytes.size();
  EXPECT_EQ(got.reads, (std::vector<std::uint32_t>{2048, 952, 0}));
}

TEST_F(InternetCurlTest, SlowPiecesAreHandedOverAsTheyComeWithinTheStallLimit) {
  LoopbackResponder responder;
  std::string body = Pattern(3000);
  responder.Enqueue(Reply()
                        .Send("HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n")
                        .Trickle(body, 1000, std::chrono::milliseconds(400)));
  Body got = Get(responder.Url("/x"));
  EXPECT_TRUE(got.ok);
  EXPECT_TRUE(got.bytes == body) << got.bytes.size();
  // A read does not sit on the bytes it has while the next piece is still on its way.
  EXPECT_EQ(got.reads, (std::vector<std::uint32_t>{1000, 1000, 1000, 0}));
}

class InternetSlowReaderTest : public InternetCurlTest {
 protected:
  InternetSlowReaderTest() : InternetCurlTest(1) {}
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

TEST_F(NginxInternetTest, SetFilePointerAsksForTheRestWithARange) {
  InternetHandle url = api_->OpenUrl(session_, nginx_->Url("/file.bin"));
  ASSERT_NE(url, 0u);
  EXPECT_EQ(api_->SetFilePointer(url, 1000), 1000);
  Body rest = ReadAll(url);
  api_->CloseHandle(url);
  EXPECT_TRUE(rest.ok);
  EXPECT_TRUE(rest.bytes == content_.substr(1000)) << rest.bytes.size();
  EXPECT_NE(nginx_->AccessLog().find("GET /file.bin HTTP/1.1 206 4000 range=\"bytes=1000-\""),
            std::string::npos)
      << nginx_->AccessLog();
}

TEST_F(NginxInternetTest, SetFilePointerPastTheEndFails) {
  InternetHandle url = api_->OpenUrl(session_, nginx_->Url("/file.bin"));
  ASSERT_NE(url, 0u);
  // nginx answers 416, which libcurl alone would call a success.
  EXPECT_EQ(api_->SetFilePointer(url, 5000), kInvalidSetFilePointer);
  api_->CloseHandle(url);

  url = api_->OpenUrl(session_, nginx_->Url("/none.bin"));
  ASSERT_NE(url, 0u);
  EXPECT_EQ(api_->SetFilePointer(url, 10), kInvalidSetFilePointer);
  api_->CloseHandle(url);
}

TEST_F(InternetCurlTest, ServerThatIgnoresRangesHasTheFirstBytesSkipped) {
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

TEST_F(InternetCurlTest, RangesThatDoNotStartWhereAskedOrBodiesTooShortFail) {
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

// The HEAD operations.
class InternetHeadRequestTest : public InternetCurlTest {
 protected:
  struct Answer {
    bool headers_ok = false;
    std::string headers;
    bool status_ok = false;
    std::string status;
  };

  Answer Head(const std::string& host, const std::string& path, const std::string& user = {},
              const std::string& password = {}) {
    Answer answer;
    InternetHandle connection = api_->Connect(session_, host, kDefaultHttpPort, user, password);
    InternetHandle request =
        api_->OpenRequest(connection, "HEAD", path, "HTTP/1.0", kRequestReload);
    if (request == 0) return answer;
    api_->SendRequest(request);
    char buffer[1024];
    std::uint32_t length = sizeof buffer;
    answer.headers_ok = api_->QueryRawHeaders(request, buffer, &length);
    if (answer.headers_ok) {
      EXPECT_EQ(buffer[length], '\0');
      answer.headers.assign(buffer, length);
    }
    length = sizeof buffer;
    answer.status_ok = api_->QueryStatusCode(request, buffer, &length);
    if (answer.status_ok) answer.status = buffer;
    api_->CloseHandle(request);
    api_->CloseHandle(connection);
    return answer;
  }

  std::string Host() const { return "127.0.0.1:" + std::to_string(responder_.port()); }

  LoopbackResponder responder_;
};

TEST_F(InternetHeadRequestTest, RawHeadersAreTheStatusAndHeaderLinesEndedByCrLf) {
  responder_.Enqueue(Reply().Send(
      "HTTP/1.1 200 OK\r\nLast-Modified: Tue, 01 Oct 2024 10:00:00 GMT\nContent-Length: 5000\r\n"
      "\r\n"));
  Answer answer = Head(Host(), "/dir/file.dat");
  EXPECT_TRUE(answer.headers_ok);
  EXPECT_EQ(answer.headers,
            "HTTP/1.1 200 OK\r\nLast-Modified: Tue, 01 Oct 2024 10:00:00 GMT\r\n"
            "Content-Length: 5000\r\n\r\n");
  EXPECT_EQ(answer.status, "200");
  ASSERT_EQ(responder_.Requests().size(), 1u);
  const std::string request = responder_.Requests()[0];
  EXPECT_TRUE(request.starts_with("HEAD /dir/file.dat HTTP/1.0\r\n")) << request;
  EXPECT_NE(request.find("Cache-Control: no-cache"), std::string::npos);
  EXPECT_EQ(request.find("Authorization:"), std::string::npos);
}

TEST_F(InternetHeadRequestTest, TheFinalAnswerOfARedirectIsReported) {
  responder_.Enqueue(
      Reply::Answer("HTTP/1.1 302 Found", "", "Location: " + responder_.Url("/there") + "\r\n"));
  responder_.Enqueue(Reply().Send("HTTP/1.0 404 Not Found\r\nX-A: b\r\n\r\n"));
  Answer answer = Head(Host(), "/here");
  EXPECT_EQ(answer.headers, "HTTP/1.0 404 Not Found\r\nX-A: b\r\n\r\n");
  EXPECT_EQ(answer.status, "404");
}

TEST_F(InternetHeadRequestTest, HeadersLongerThanTheBufferFailButTheStatusIsThere) {
  std::string headers;
  for (int i = 0; i < 30; ++i)
    headers += "X-Padding-" + std::to_string(i) + ": " + std::string(30, 'p') + "\r\n";
  responder_.Enqueue(Reply::Answer("HTTP/1.1 200 OK", "", headers));
  Answer answer = Head(Host(), "/x");
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

TEST_F(InternetHeadRequestTest, NoAnswerMeansNeitherHeadersNorStatus) {
  responder_.Enqueue(Reply().Hold());
  Answer silent = Head(Host(), "/x");
  EXPECT_FALSE(silent.headers_ok);
  EXPECT_FALSE(silent.status_ok);

  std::uint16_t closed_port = testing::FreeLoopbackPort();
  Answer refused = Head("127.0.0.1:" + std::to_string(closed_port), "/x");
  EXPECT_FALSE(refused.headers_ok);
  EXPECT_FALSE(refused.status_ok);
}

TEST_F(InternetHeadRequestTest, HostTextsThatAreNoHostAreRefused) {
  EXPECT_EQ(api_->Connect(session_, "", kDefaultHttpPort, "", ""), 0u);
  EXPECT_EQ(api_->Connect(session_, "me@" + Host(), kDefaultHttpPort, "", ""), 0u);
  EXPECT_EQ(api_->Connect(session_, Host() + "/x", kDefaultHttpPort, "", ""), 0u);
  EXPECT_EQ(api_->OpenRequest(0, "HEAD", "/x", "HTTP/1.0", 0), 0u);
}

TEST_F(InternetHeadRequestTest, ATooSmallBufferFailsTheQuery) {
  responder_.Enqueue(Reply::Answer("HTTP/1.1 200 OK", ""));
  InternetHandle connection = api_->Connect(session_, Host(), kDefaultHttpPort, "", "");
  InternetHandle request = api_->OpenRequest(connection, "HEAD", "/x", "HTTP/1.0", 0);
  api_->SendRequest(request);
  char buffer[16];
  std::uint32_t length = sizeof buffer;
  EXPECT_FALSE(api_->QueryRawHeaders(request, buffer, &length));
  length = 3;  // no room for the NUL
  EXPECT_FALSE(api_->QueryStatusCode(request, buffer, &length));
  api_->CloseHandle(request);
  api_->CloseHandle(connection);
}

TEST_F(NginxInternetTest, HeadAgainstNginxGivesItsHeaders) {
  InternetHandle connection = api_->Connect(session_, "127.0.0.1:" + std::to_string(nginx_->port()),
                                            kDefaultHttpPort, "", "");
  InternetHandle request =
      api_->OpenRequest(connection, "HEAD", "/file.bin", "HTTP/1.0", kRequestReload);
  api_->SendRequest(request);
  char buffer[1024];
  std::uint32_t length = sizeof buffer;
  ASSERT_TRUE(api_->QueryRawHeaders(request, buffer, &length));
  std::string headers(buffer, length);
  EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 OK\r\n")) << headers;
  EXPECT_NE(headers.find("\r\nContent-Length: 5000\r\n"), std::string::npos);
  EXPECT_NE(headers.find("\r\nLast-Modified: "), std::string::npos);
  EXPECT_TRUE(headers.ends_with("\r\n\r\n"));
  api_->CloseHandle(request);
  api_->CloseHandle(connection);
}

// https with verification: a certificate made for 127.0.0.1 and trusted only through ca_file.
class HttpsInternetTest : public ::testing::Test {
 protected:
  HttpsInternetTest() {
    testing::ProgramRun made = testing::RunProgram(
        {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
         "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
         certs_.File("key.pem"), "-out", certs_.File("cert.pem")});
    EXPECT_EQ(made.exit_status, 0) << made.errors;
    testing::WriteFile(files_.File("file.bin"), "secret bytes");
    testing::NginxOptions options;
    options.root = files_.path();
    options.scheme = "https";
    options.listen_parameters = "ssl";
    options.server_config = "ssl_certificate " + certs_.File("cert.pem") +
                            ";\nssl_certificate_key " + certs_.File("key.pem") + ";";
    nginx_ = std::make_unique<NginxServer>(options);
  }

  std::unique_ptr<InternetApi> Api(const std::string& ca_file) {
    InternetOptions options;
    options.limits.connect_seconds = 2;
    options.limits.stall_seconds = 2;
    options.ca_file = ca_file;
    return CreateInternetApi(options);
  }

  TestDir certs_{"certs"};
  TestDir files_{"www"};
  std::unique_ptr<NginxServer> nginx_;
};

TEST_F(HttpsInternetTest, TrustedCertificateWorksAndAnUnknownOneIsRefused) {
  std::unique_ptr<InternetApi> trusting = Api(certs_.File("cert.pem"));
  InternetHandle session = trusting->OpenSession(kAgent, InternetAccess::kDirect, "");
  InternetHandle url = trusting->OpenUrl(session, nginx_->Url("/file.bin"));
  ASSERT_NE(url, 0u);
  char buffer[kMaxReadSize];
  std::uint32_t read = 0;
  ASSERT_TRUE(trusting->ReadFile(url, buffer, sizeof buffer, &read));
  EXPECT_EQ(std::string(buffer, read), "secret bytes");
  trusting->CloseHandle(url);

  // The HEAD request over TLS: the secure flag, the host naming its port.
  InternetHandle connection = trusting->Connect(
      session, "127.0.0.1:" + std::to_string(nginx_->port()), kDefaultHttpsPort, "", "");
  InternetHandle request = trusting->OpenRequest(connection, "HEAD", "/file.bin", "HTTP/1.0",
                                                 kRequestReload | kRequestSecure);
  trusting->SendRequest(request);
  std::uint32_t length = sizeof buffer;
  ASSERT_TRUE(trusting->QueryStatusCode(request, buffer, &length));
  EXPECT_STREQ(buffer, "200");
  trusting->CloseHandle(request);
  trusting->CloseHandle(connection);
  trusting->CloseHandle(session);

  std::unique_ptr<InternetApi> strict = Api("");
  session = strict->OpenSession(kAgent, InternetAccess::kDirect, "");
  EXPECT_EQ(strict->OpenUrl(session, nginx_->Url("/file.bin")), 0u);
  strict->CloseHandle(session);
}

}  // namespace
}  // namespace rariduze
