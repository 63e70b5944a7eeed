#include "tests/support/internet_backend.h"

namespace rariduze::testing {

const InternetBackendTraits& InternetBackend() {
  static const InternetBackendTraits traits{
      .header_lines_as_sent = true,
      .refuses_answers_without_status_line = true,
      .matches_certificate_ip_addresses = true,
  };
  return traits;
}

std::string TrustAuthority(const std::string& certificate_file) { return certificate_file; }

}  // namespace rariduze::testing
