// What only the libcurl backend does, where the platform's API on Windows behaves otherwise
// (internet_wininet_test.cpp holds the other side).

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

class CurlInternetTest : public InternetTest {
 protected:
  std::string Host() const { return "127.0.0.1:" + std::to_string(responder_.port()); }

  LoopbackResponder responder_;
};

TEST_F(CurlInternetTest, HeaderLinesAreHandedOutAsTheServerSentThem) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length:5000\r\nX-Spaced:   a  b  \r\n\r\n";
  responder_.Enqueue(Reply().Send(head));
  HeadAnswer answer = Head(Host(), "/x");
  EXPECT_EQ(answer.headers, head);
}

TEST_F(CurlInternetTest, AnAnswerThatIsNoHttpIsRefused) {
  responder_.SetDefault(Reply().Send("220 ready for mail\r\n\r\n"));
  EXPECT_EQ(api_->OpenUrl(session_, responder_.Url("/x")), 0u);
  HeadAnswer answer = Head(Host(), "/x");
  EXPECT_FALSE(answer.headers_ok);
  EXPECT_FALSE(answer.status_ok);
}

TEST(CurlHttpsTest, ACertificateIsMatchedAgainstTheAddressItNames) {
  TestCertificateAuthority& trusted = TrustedTestAuthority();
  TestDir files{"www"};
  WriteFile(files.File("file.bin"), "secret bytes");
  NginxServer nginx(HttpsNginxOptions(files.path(), trusted.Issue("server", {"IP:127.0.0.1"})));
  std::unique_ptr<InternetApi> api = CreateInternetApi(ShortLimits(2, TrustedCaFile()));
  InternetHandle session = api->OpenSession(kAgent, InternetAccess::kDirect, "");
  Body body = InternetTest::Get(*api, session, nginx.Url("/file.bin"));
  api->CloseHandle(session);
  EXPECT_TRUE(body.ok);
  EXPECT_EQ(body.bytes, "secret bytes");
}

}  // namespace
}  // namespace rariduze::testing
