// What every backend of the internet operations must do, continued: the HEAD operations,
// sessions with and without a proxy (real tinyproxy), https with real certificates.

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
