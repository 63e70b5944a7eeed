// The control over https: a certificate is checked against the trusted authorities and the
// address's name, and a refused one is never bypassed.

#include <memory>
#include <string>

#include "tests/support/internet_backend.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_certificates.h"
#include "tests/support/tinyproxy_server.h"
#include "tests/transfer/internet_file_fixture.h"

namespace rariduze::testing {
namespace {

struct Outcome {
  bool exists = false;
  std::int32_t size = 0;
  std::string modified;
  std::vector<std::string> events;
};

class InternetFileTlsTest : public ::testing::Test {
 protected:
  // The trusted authority first: the platform may read its trusted authorities only once.
  InternetFileTlsTest() : trusted_(TrustedTestAuthority()), body_(Pattern(10000, 4)) {
    WriteFile(www_.File("setupZT.zip"), body_);
  }

  // extra_listen: more parameters for nginx's listen line ("http2").
  void Serve(const ServerCertificate& certificate, const std::string& extra_listen = {}) {
    NginxOptions options = HttpsNginxOptions(www_.path(), certificate);
    options.listen_parameters += " " + extra_listen;
    nginx_ = std::make_unique<NginxServer>(options);
  }
  std::string UrlByName() const {
    return "https://localhost:" + std::to_string(nginx_->port()) + "/setupZT.zip";
  }

  // Asks about url and downloads it into local through a fresh control whose internet
  // operations trust ca_file (empty: the system's store), as the updater does it; directly,
  // or through proxy ("host:port") when one is given.
  Outcome Fetch(const std::string& url, const std::string& ca_file, const std::string& local,
                const std::string& proxy = {}) {
    InternetOptions options;
    options.limits.connect_seconds = 2;
    options.limits.stall_seconds = 2;
    options.ca_file = ca_file;
    std::unique_ptr<InternetApi> real = CreateInternetApi(options);
    CountingInternet internet(*real);
    ScriptedUi ui;
    RecordingHost host;
    RecordingEvents events;
    Outcome outcome;
    {
      InternetFile file(internet, ui, FileSystem::Default(), host);
      file.SetEvents(&events);
      file.SetConnectType(2);
      if (!proxy.empty()) {
        file.SetConnectType(1);
        file.SetProxyServer(proxy.substr(0, proxy.rfind(':')));
        file.SetProxyPort(static_cast<std::int16_t>(std::stoi(proxy.substr(proxy.rfind(':') + 1))));
      }
      file.SetUrl(url);
      file.SetLocalFile(local);
      file.RequestInformation();
      outcome = {file.FileExists(), file.FileSize(), file.LastModified(), {}};
      file.StartDownload();
    }
    outcome.events = events.lines;
    EXPECT_EQ(internet.open_sessions() + internet.open_other_handles(), 0u);
    return outcome;
  }

  void ExpectRefused(const Outcome& outcome, const std::string& local) {
    EXPECT_FALSE(outcome.exists);
    EXPECT_EQ(outcome.size, -1);
    EXPECT_EQ(outcome.modified, "Not Available");
    EXPECT_EQ(outcome.events, Lines({"error Could not find Url"}));
    EXPECT_FALSE(FileIsThere(local));
    // Not one request reached the server, over TLS or in the clear.
    EXPECT_EQ(nginx_->AccessLogSynced(), "");
  }

  TestCertificateAuthority& trusted_;
  TestDir www_{"www"};
  TestDir dir_{"tls"};
  std::string body_;
  std::unique_ptr<NginxServer> nginx_;
};

TEST_F(InternetFileTlsTest, ATrustedCertificateServesTheFileByNameAndByAddress) {
  Serve(trusted_.Issue("server", {"IP:127.0.0.1", "DNS:localhost"}));
  const std::string by_name = UrlByName();
  for (const std::string& url : {by_name, nginx_->Url("/setupZT.zip")}) {
    SCOPED_TRACE(url);
    const std::string local = dir_.File(url == by_name ? "by-name.zip" : "by-address.zip");
    Outcome outcome = Fetch(url, TrustedCaFile(), local);
    if (url != by_name && !InternetBackend().matches_certificate_ip_addresses) {
      // The name check knows DNS names only: an address is never the certificate's.
      EXPECT_EQ(outcome.events, Lines({"error Could not find Url"}));
      EXPECT_FALSE(FileIsThere(local));
      continue;
    }
    EXPECT_TRUE(outcome.exists);
    EXPECT_EQ(outcome.size, 10000);
    EXPECT_TRUE(outcome.modified.ends_with(" GMT")) << outcome.modified;
    ASSERT_FALSE(outcome.events.empty());
    EXPECT_EQ(outcome.events.back(), "complete");
    EXPECT_TRUE(ReadFile(local) == body_);
  }
  const std::string log = nginx_->AccessLogSynced();
  EXPECT_NE(log.find("HEAD /setupZT.zip HTTP/1.0 200"), std::string::npos) << log;
}

// The platform's internet API speaks HTTP/1.1; a server that offers HTTP/2 over TLS gets
// HTTP/1.1 all the same.
TEST_F(InternetFileTlsTest, AServerThatOffersHttp2IsAskedInHttp11) {
  Serve(trusted_.Issue("server", {"IP:127.0.0.1", "DNS:localhost"}), "http2");
  const std::string local = dir_.File("got.zip");
  Outcome outcome = Fetch(UrlByName(), TrustedCaFile(), local);
  ASSERT_FALSE(outcome.events.empty());
  EXPECT_EQ(outcome.events.back(), "complete");
  EXPECT_TRUE(ReadFile(local) == body_);
  const std::string log = nginx_->AccessLogSynced();
  EXPECT_NE(log.find("GET /setupZT.zip HTTP/1.1 200"), std::string::npos) << log;
  EXPECT_EQ(log.find("HTTP/2"), std::string::npos) << log;
}

TEST_F(InternetFileTlsTest, HttpsGoesThroughANamedProxyAsATunnel) {
  Serve(trusted_.Issue("server", {"IP:127.0.0.1", "DNS:localhost"}));
  TinyproxyServer proxy;
  const std::string local = dir_.File("got.zip");
  Outcome outcome = Fetch(UrlByName(), TrustedCaFile(), local, proxy.Address());
  EXPECT_TRUE(outcome.exists);
  EXPECT_EQ(outcome.size, 10000);
  ASSERT_FALSE(outcome.events.empty());
  EXPECT_EQ(outcome.events.back(), "complete");
  EXPECT_TRUE(ReadFile(local) == body_);
  // The proxy saw only where to connect; the requests went inside the tunnel.
  const std::string tunnel = "CONNECT localhost:" + std::to_string(nginx_->port());
  EXPECT_NE(proxy.Log().find(tunnel), std::string::npos) << proxy.Log();
  EXPECT_EQ(proxy.Log().find("/setupZT.zip"), std::string::npos) << proxy.Log();
  // Through a proxy the Windows API speaks HTTP/1.0 unless the system's settings say otherwise.
  const std::string log = nginx_->AccessLogSynced();
  EXPECT_NE(log.find("GET /setupZT.zip HTTP/1."), std::string::npos) << log;
}

TEST_F(InternetFileTlsTest, ACertificateTheSystemDoesNotTrustIsRefused) {
  TestCertificateAuthority stranger;
  Serve(stranger.Issue("server", {"IP:127.0.0.1", "DNS:localhost"}));
  const std::string local = dir_.File("got.zip");
  ExpectRefused(Fetch(UrlByName(), "", local), local);
}

TEST_F(InternetFileTlsTest, ACertificateForAnotherNameIsRefused) {
  Serve(trusted_.Issue("elsewhere", {"DNS:updates.example.test"}));
  const std::string local = dir_.File("got.zip");
  ExpectRefused(Fetch(UrlByName(), TrustedCaFile(), local), local);
}

}  // namespace
}  // namespace rariduze::testing
