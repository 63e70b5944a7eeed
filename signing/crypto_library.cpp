#include "signing/crypto_library.h"

#include <gcrypt.h>

#include <algorithm>
#include <mutex>

namespace rariduze {
namespace {

// An S-expression the library made, released when it goes.
class Sexp {
 public:
  Sexp() = default;
  ~Sexp() { gcry_sexp_release(sexp_); }
  Sexp(const Sexp&) = delete;
  Sexp& operator=(const Sexp&) = delete;
  gcry_sexp_t* out() { return &sexp_; }
  gcry_sexp_t get() const { return sexp_; }

 private:
  gcry_sexp_t sexp_ = nullptr;
};

gcry_md_hd_t Handle(void* handle) { return static_cast<gcry_md_hd_t>(handle); }

}  // namespace

bool StartCryptoLibrary(CryptoVersionCheck check_version) {
  // The headers this build was compiled with may rely on anything their version brings: an
  // older library at run time is not used.
  if (check_version(GCRYPT_VERSION) == nullptr) return false;
  // Another part of the process may have started the library already; then its settings are
  // that part's.
  if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P) != 0) return true;
  // Only public keys and public data pass through here: no secret needs locked memory, and
  // without it the library neither asks for privileges nor warns about them.
  gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
  gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  return true;
}

bool PrepareCryptoLibrary() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = StartCryptoLibrary(&gcry_check_version); });
  return ready;
}

bool Ed25519SignatureHolds(const Ed25519Key& key, std::span<const std::uint8_t> message,
                           const Ed25519Signature& signature) {
  if (!PrepareCryptoLibrary()) return false;
  if (message.size() > kMaxEd25519MessageBytes) return false;
  // A zero-length %b still needs a valid address.
  static const std::uint8_t kNothing = 0;
  const std::uint8_t* message_bytes = message.empty() ? &kNothing : message.data();

  Sexp public_key;
  Sexp data;
  Sexp signature_value;
  constexpr int kHalf = kEd25519SignatureSize / 2;
  if (gcry_sexp_build(public_key.out(), nullptr,
                      "(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))",
                      static_cast<int>(key.size()), key.data()) != 0 ||
      gcry_sexp_build(data.out(), nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                      static_cast<int>(message.size()), message_bytes) != 0 ||
      gcry_sexp_build(signature_value.out(), nullptr, "(sig-val (eddsa (r %b) (s %b)))", kHalf,
                      signature.data(), kHalf, signature.data() + kHalf) != 0) {
    return false;
  }
  return gcry_pk_verify(signature_value.get(), data.get(), public_key.get()) == 0;
}

Blake2b512::Blake2b512() {
  if (!PrepareCryptoLibrary()) return;
  gcry_md_hd_t handle = nullptr;
  if (gcry_md_open(&handle, GCRY_MD_BLAKE2B_512, 0) == 0) handle_ = handle;
}

Blake2b512::~Blake2b512() {
  if (handle_ != nullptr) gcry_md_close(Handle(handle_));
}

void Blake2b512::Add(const char* data, std::size_t size) {
  if (handle_ != nullptr) gcry_md_write(Handle(handle_), data, size);
}

std::optional<std::array<std::uint8_t, kBlake2b512Size>> Blake2b512::Finish() {
  if (handle_ == nullptr) return std::nullopt;
  const unsigned char* result = gcry_md_read(Handle(handle_), GCRY_MD_BLAKE2B_512);
  if (result == nullptr) return std::nullopt;
  std::array<std::uint8_t, kBlake2b512Size> digest{};
  std::copy_n(result, digest.size(), digest.begin());
  return digest;
}

}  // namespace rariduze
