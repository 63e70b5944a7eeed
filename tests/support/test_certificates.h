#pragma once

#include <string>
#include <vector>

#include "tests/support/nginx_server.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {

// A server certificate and its key, as files.
struct ServerCertificate {
  std::string certificate;
  std::string key;
};

// A certificate authority of the test's own, made by openssl in a folder below the build tree,
// that signs server certificates for the names a test chooses. Nothing on the machine trusts
// it unless told to. Throws std::runtime_error with openssl's words when a step fails.
class TestCertificateAuthority {
 public:
  TestCertificateAuthority();
  TestCertificateAuthority(const TestCertificateAuthority&) = delete;
  TestCertificateAuthority& operator=(const TestCertificateAuthority&) = delete;

  // The authority's certificate: the file a client is told to trust.
  std::string certificate() const { return dir_.File("ca.pem"); }

  // A certificate for the subject alternative names given, e.g. {"IP:127.0.0.1",
  // "DNS:localhost"}; label names its files.
  ServerCertificate Issue(const std::string& label, const std::vector<std::string>& names);

 private:
  void Run(const std::vector<std::string>& argv) const;

  TestDir dir_{"ca"};
  int serial_ = 1;
};

// The authority that the internet operations of this process trust, made (and trusted, see
// TrustAuthority) on first use. The platform may read its trusted authorities once for the
// whole process, so every test that checks certificates asks for this one before anything else
// and makes untrusted authorities of its own.
TestCertificateAuthority& TrustedTestAuthority();
// The ca_file to create the internet operations with for that trust.
const std::string& TrustedCaFile();

// nginx serving root over https with the certificate given.
NginxOptions HttpsNginxOptions(const std::string& root, const ServerCertificate& certificate);

}  // namespace rariduze::testing
