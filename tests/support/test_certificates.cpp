#include "tests/support/test_certificates.h"

#include <stdexcept>

#include "tests/support/child_process.h"
#include "tests/support/host.h"
#include "tests/support/internet_backend.h"

namespace rariduze::testing {
namespace {

// Elliptic-curve keys: made in a moment, unlike RSA ones.
const std::vector<std::string> kNewKey = {"-newkey", "ec", "-pkeyopt",
                                          "ec_paramgen_curve:prime256v1", "-nodes"};

}  // namespace

TestCertificateAuthority::TestCertificateAuthority() {
  std::vector<std::string> argv = {"openssl", "req", "-x509"};
  argv.insert(argv.end(), kNewKey.begin(), kNewKey.end());
  argv.insert(argv.end(), {"-days", "2", "-subj", "/CN=RARiduze test authority", "-addext",
                           "basicConstraints=critical,CA:TRUE", "-addext",
                           "keyUsage=critical,keyCertSign,cRLSign", "-keyout", dir_.File("ca.key"),
                           "-out", dir_.File("ca.pem")});
  Run(argv);
}

ServerCertificate TestCertificateAuthority::Issue(const std::string& label,
                                                  const std::vector<std::string>& names) {
  ServerCertificate issued{dir_.File(label + ".pem"), dir_.File(label + ".key")};
  const std::string request = dir_.File(label + ".csr");
  const std::string extensions = dir_.File(label + ".ext");
  std::string alt_names;
  for (const std::string& name : names) alt_names += (alt_names.empty() ? "" : ",") + name;
  WriteFile(extensions,
            "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n"
            "subjectAltName=" +
                alt_names + "\n");

  std::vector<std::string> argv = {"openssl", "req"};
  argv.insert(argv.end(), kNewKey.begin(), kNewKey.end());
  argv.insert(argv.end(), {"-subj", "/CN=" + label, "-keyout", issued.key, "-out", request});
  Run(argv);
  Run({"openssl", "x509", "-req", "-in", request, "-CA", certificate(), "-CAkey",
       dir_.File("ca.key"), "-set_serial", std::to_string(++serial_), "-days", "2", "-extfile",
       extensions, "-out", issued.certificate});
  return issued;
}

void TestCertificateAuthority::Run(const std::vector<std::string>& argv) const {
  ProgramRun run = RunProgram(argv, std::chrono::seconds(30));
  if (run.exit_status != 0) {
    throw std::runtime_error("openssl " + argv.at(1) + " failed: " + run.errors);
  }
}

namespace {

struct TrustedAuthority {
  TestCertificateAuthority authority;
  std::string ca_file = TrustAuthority(authority.certificate());
};

TrustedAuthority& Trusted() {
  static TrustedAuthority trusted;
  return trusted;
}

}  // namespace

TestCertificateAuthority& TrustedTestAuthority() { return Trusted().authority; }
const std::string& TrustedCaFile() { return Trusted().ca_file; }

NginxOptions HttpsNginxOptions(const std::string& root, const ServerCertificate& certificate) {
  NginxOptions options;
  options.root = root;
  options.scheme = "https";
  options.listen_parameters = "ssl";
  options.server_config = "ssl_certificate " + UnixPath(certificate.certificate) +
                          ";\nssl_certificate_key " + UnixPath(certificate.key) + ";";
  return options;
}

}  // namespace rariduze::testing
