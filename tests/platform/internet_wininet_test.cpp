// What only the backend over the platform's API (WinInet, here under Wine) does, where the
// libcurl backend behaves otherwise (internet_curl_test.cpp holds the other side).

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/internet.h"
#include "tests/platform/internet_fixture.h"
#include "tests/support/loopback_responder.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_certificates.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

class WinInetInternetTest : public InternetTest {
 protected:
  std::string Host() const { return "127.0.0.1:" + std::to_string(responder_.port()); }

  LoopbackResponder responder_;
};

TEST_F(WinInetInternetTest, HeaderLinesAreRebuiltAsNameAndValue) {
  responder_.Enqueue(
      Reply().Send("HTTP/1.1 200 OK\r\nContent-Length:5000\r\nX-Spaced:   a  b  \r\n\r\n"));
  HeadAnswer answer = Head(Host(), "/x");
  EXPECT_EQ(answer.headers, "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\nX-Spaced: a  b\r\n\r\n");
}

TEST_F(WinInetInternetTest, AnAnswerThatIsNoHttpIsTakenForABareBodyWithoutItsFirstLine) {
  responder_.SetDefault(Reply().Send("220 ready for mail\r\nsecond line\r\n"));
  Body body = Get(responder_.Url("/x"));
  EXPECT_TRUE(body.ok);
  EXPECT_EQ(body.bytes, "second line\r\n");
  HeadAnswer answer = Head(Host(), "/x");
  EXPECT_EQ(answer.headers, "HTTP/1.0 200 OK\r\n\r\n");
  EXPECT_EQ(answer.status, "200");
}

// https through the system's store, which trusts the test authority.
class WinInetHttpsTest : public ::testing::Test {
 protected:
  // The trusted authority first: the platform reads its trusted authorities only once.
  WinInetHttpsTest() : trusted_(TrustedTestAuthority()) {
    WriteFile(files_.File("file.bin"), "secret bytes");
  }

  Body Fetch(const std::string& url, const std::string& ca_file) {
    std::unique_ptr<InternetApi> api = CreateInternetApi(ShortLimits(2, ca_file));
    InternetHandle session = api->OpenSession(kAgent, InternetAccess::kDirect, "");
    Body body = InternetTest::Get(*api, session, url);
    api->CloseHandle(session);
    return body;
  }

  TestCertificateAuthority& trusted_;
  TestDir files_{"www"};
};

TEST_F(WinInetHttpsTest, AnAddressIsNeverTheNameOfACertificate) {
  // Wine's certificate check knows DNS names only.
  NginxServer nginx(HttpsNginxOptions(files_.path(),
                                      trusted_.Issue("server", {"IP:127.0.0.1", "DNS:localhost"})));
  EXPECT_FALSE(Fetch(nginx.Url("/file.bin"), "").ok);
  EXPECT_EQ(nginx.AccessLogSynced(), "");
  Body by_name = Fetch("https://localhost:" + std::to_string(nginx.port()) + "/file.bin", "");
  EXPECT_TRUE(by_name.ok);
  EXPECT_EQ(by_name.bytes, "secret bytes");
}

TEST_F(WinInetHttpsTest, AnAuthorityFileOfItsOwnGetsNoHttps) {
  // The platform checks against its own store only: rather than a check other than the one
  // asked for, none at all, even for an authority the store trusts.
  NginxServer nginx(HttpsNginxOptions(files_.path(), trusted_.Issue("server", {"DNS:localhost"})));
  const std::string url = "https://localhost:" + std::to_string(nginx.port()) + "/file.bin";
  EXPECT_FALSE(Fetch(url, trusted_.certificate()).ok);
  EXPECT_EQ(nginx.AccessLogSynced(), "");
  EXPECT_TRUE(Fetch(url, "").ok);
}

TEST_F(WinInetInternetTest, AnAuthorityFileStillLetsPlainHttpThrough) {
  std::unique_ptr<InternetApi> api =
      CreateInternetApi(ShortLimits(2, TrustedTestAuthority().certificate()));
  InternetHandle session = api->OpenSession(kAgent, InternetAccess::kDirect, "");
  responder_.Enqueue(Reply::Answer("HTTP/1.1 200 OK", "plain"));
  Body body = Get(*api, session, responder_.Url("/x"));
  api->CloseHandle(session);
  EXPECT_TRUE(body.ok);
  EXPECT_EQ(body.bytes, "plain");
}

}  // namespace
}  // namespace rariduze::testing
