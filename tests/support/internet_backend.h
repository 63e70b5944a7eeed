#pragma once

#include <string>

namespace rariduze::testing {

// Where the internet operations of this build behave differently and a test must know it.
// Each backend answers for itself, in a file of its own that CMake picks.
struct InternetBackendTraits {
  // The header block holds the header lines as the server sent them (libcurl), rather than
  // each rebuilt as "Name: value" without the blanks around the value (the platform's API
  // under Wine).
  bool header_lines_as_sent = false;
  // An answer without an HTTP status line is refused (libcurl), rather than taken, as the
  // platform's API does, for a bare body with status 200 whose first line is lost.
  bool refuses_answers_without_status_line = false;
  // A certificate is matched against the IP address of an address that names one (libcurl),
  // not only against DNS names (Wine's certificate check knows no other).
  bool matches_certificate_ip_addresses = false;
};

const InternetBackendTraits& InternetBackend();

// Makes the internet operations of this process trust the certificate authority in
// certificate_file (PEM) and gives the ca_file to create them with. libcurl takes the file
// itself. On Windows only the system's store decides: the authority joins the machine's "Root"
// store (under Wine, the build's prefix) until this process ends, and the ca_file is empty.
// The platform reads that store once, at its first certificate check, so this comes first.
// Throws std::runtime_error when the authority cannot be trusted.
std::string TrustAuthority(const std::string& certificate_file);

}  // namespace rariduze::testing
