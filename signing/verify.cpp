#include "signing/verify.h"

#include <optional>
#include <vector>

#include "signing/crypto_library.h"

namespace rariduze {
namespace {

constexpr std::size_t kReadPiece = 64 * 1024;
static_assert(kMaxLegacySignedBytes <= kMaxEd25519MessageBytes);
// The global signature covers the file signature and the trusted comment.
static_assert(kEd25519SignatureSize + kMaxSignatureFileBytes <= kMaxEd25519MessageBytes);

Verification Refused(std::string reason) { return {false, {}, std::move(reason)}; }

// What the file signature covers: the digest, or the bytes themselves in the legacy form.
// Nothing when the data could not be read; too_large when the legacy limit was passed.
std::optional<std::vector<std::uint8_t>> SignedMessage(SignedForm form, ByteSource& data,
                                                       bool& too_large) {
  std::vector<char> piece(kReadPiece);
  if (form == SignedForm::kPrehashed) {
    Blake2b512 digest;
    if (!digest.usable()) return std::nullopt;
    for (;;) {
      std::optional<std::size_t> count = data.Read(piece.data(), piece.size());
      if (!count) return std::nullopt;
      if (*count == 0) break;
      digest.Add(piece.data(), *count);
    }
    auto bytes = digest.Finish();
    if (!bytes) return std::nullopt;
    return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
  }
  std::vector<std::uint8_t> whole;
  for (;;) {
    std::optional<std::size_t> count = data.Read(piece.data(), piece.size());
    if (!count) return std::nullopt;
    if (*count == 0) break;
    if (whole.size() + *count > kMaxLegacySignedBytes) {
      too_large = true;
      return std::nullopt;
    }
    whole.insert(whole.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(*count));
  }
  return whole;
}

}  // namespace

Verification VerifySignature(const PublicKey& key, ByteSource& data,
                             std::string_view signature_text) {
  SignatureFileParse parsed = ParseSignatureFile(signature_text);
  if (!parsed.signature) return Refused(parsed.reason);
  const SignatureFile& signature = *parsed.signature;
  if (signature.key_id != key.key_id) {
    return Refused("the signature was made with another key (key id " +
                   KeyIdText(signature.key_id) + ", expected " + KeyIdText(key.key_id) + ")");
  }
  if (!PrepareCryptoLibrary()) return Refused("the cryptography library could not be started");

  bool too_large = false;
  std::optional<std::vector<std::uint8_t>> message = SignedMessage(signature.form, data, too_large);
  if (too_large) {
    return Refused("the file is too large for a legacy signature (over " +
                   std::to_string(kMaxLegacySignedBytes) + " bytes)");
  }
  if (!message) return Refused("the signed file could not be read");
  if (!Ed25519SignatureHolds(key.key, *message, signature.signature)) {
    return Refused("the signature does not match the file");
  }

  std::vector<std::uint8_t> global(signature.signature.begin(), signature.signature.end());
  global.insert(global.end(), signature.trusted_comment.begin(), signature.trusted_comment.end());
  if (!Ed25519SignatureHolds(key.key, global, signature.global_signature)) {
    return Refused("the trusted comment does not match its signature");
  }
  return {true, signature.trusted_comment, {}};
}

Verification VerifyFile(const PublicKey& key, const std::string& file_path,
                        std::string_view signature_text) {
  FileByteSource file(file_path);
  if (!file.opened()) return Refused("the signed file could not be opened");
  return VerifySignature(key, file, signature_text);
}

Verification VerifyFile(std::string_view public_key_text, const std::string& file_path,
                        std::string_view signature_text) {
  PublicKeyParse parsed = ParsePublicKey(public_key_text);
  if (!parsed.key) return Refused(parsed.reason);
  return VerifyFile(*parsed.key, file_path, signature_text);
}

}  // namespace rariduze
