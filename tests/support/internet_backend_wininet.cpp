#include <windows.h>
// After the Win32 headers, which it needs.
#include <wincrypt.h>

#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "tests/support/internet_backend.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

struct CertificateFree {
  void operator()(const CERT_CONTEXT* certificate) const {
    ::CertFreeCertificateContext(certificate);
  }
};
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateFree>;

// The machine's "Root" store as the registry keeps it, so that what is added or removed here
// lasts beyond the handle.
HCERTSTORE OpenRootStore() {
  return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE,
                         L"Root");
}

// Takes the authorities this process added out of the store again when it ends.
class AddedAuthorities {
 public:
  ~AddedAuthorities() {
    HCERTSTORE root = OpenRootStore();
    if (root == nullptr) return;
    for (const Certificate& added : added_) {
      const CERT_CONTEXT* found = ::CertFindCertificateInStore(
          root, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, added.get(), nullptr);
      // Deleting frees the context found.
      if (found != nullptr) ::CertDeleteCertificateFromStore(found);
    }
    ::CertCloseStore(root, 0);
  }
  void Keep(Certificate certificate) {
    std::lock_guard lock(mutex_);
    added_.push_back(std::move(certificate));
  }

 private:
  std::mutex mutex_;
  std::vector<Certificate> added_;
};

}  // namespace

const InternetBackendTraits& InternetBackend() {
  static const InternetBackendTraits traits{
      .header_lines_as_sent = false,
      .refuses_answers_without_status_line = false,
      .matches_certificate_ip_addresses = false,
  };
  return traits;
}

std::string TrustAuthority(const std::string& certificate_file) {
  static AddedAuthorities added;
  const std::string pem = ReadFile(certificate_file);
  DWORD size = 0;
  if (pem.empty() ||
      !::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                              nullptr, &size, nullptr, nullptr)) {
    throw std::runtime_error("no certificate in " + certificate_file);
  }
  std::vector<BYTE> der(size);
  ::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                         der.data(), &size, nullptr, nullptr);
  Certificate certificate(::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size));
  HCERTSTORE root = OpenRootStore();
  const bool trusted = certificate != nullptr && root != nullptr &&
                       ::CertAddCertificateContextToStore(root, certificate.get(),
                                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (root != nullptr) ::CertCloseStore(root, 0);
  if (!trusted) throw std::runtime_error("the Root store refused " + certificate_file);
  added.Keep(std::move(certificate));
  return "";
}

}  // namespace rariduze::testing
