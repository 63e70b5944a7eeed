#include "signing/verify.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "signing/crypto_library.h"

namespace rariduze {
namespace {

constexpr std::size_t kReadPiece = 64 * 1024;
// The global signature covers the file signature and the trusted comment.
static_assert(kEd25519SignatureSize + kMaxSignatureFileBytes <= kMaxEd25519MessageBytes);

Verification Refused(std::string reason) { return {false, {}, std::move(reason)}; }

// The BLAKE2b-512 digest of data, which the file signature covers; nothing when the data could
// not be read.
std::optional<std::array<std::uint8_t, kBlake2b512Size>> DigestOf(ReadableFile& data) {
  Blake2b512 digest;
  if (!digest.usable()) return std::nullopt;
  std::vector<char> piece(kReadPiece);
  for (;;) {
    std::optional<std::size_t> count = data.Read(piece.data(), piece.size());
    if (!count) return std::nullopt;
    if (*count == 0) break;
    digest.Add(piece.data(), *count);
  }
  return digest.Finish();
}

// "0123456789ABCDEF", or "0123456789ABCDEF or FEDCBA9876543210" for two keys, and so on.
std::string KeyIdsText(std::span<const PublicKey> keys) {
  std::string text;
  for (const PublicKey& key : keys) {
    if (!text.empty()) text += " or ";
    text += KeyIdText(key.key_id);
  }
  return text;
}

}  // namespace

Verification VerifySignature(std::span<const PublicKey> keys, ReadableFile& data,
                             std::string_view signature_text) {
  SignatureFileParse parsed = ParseSignatureFile(signature_text);
  if (!parsed.signature) return Refused(parsed.reason);
  const SignatureFile& signature = *parsed.signature;
  if (keys.empty()) return Refused("there is no public key to check the signature with");
  // Keys with the signature's id; ids are random, so two keys share one only by mistake, and
  // then each is tried.
  std::vector<const PublicKey*> named;
  for (const PublicKey& key : keys) {
    if (key.key_id == signature.key_id) named.push_back(&key);
  }
  if (named.empty()) {
    return Refused("the signature was made with another key (key id " +
                   KeyIdText(signature.key_id) + ", expected " + KeyIdsText(keys) + ")");
  }
  if (!PrepareCryptoLibrary()) return Refused("the cryptography library could not be started");

  const auto digest = DigestOf(data);
  if (!digest) return Refused("the signed file could not be read");
  const PublicKey* signer = nullptr;
  for (const PublicKey* key : named) {
    if (Ed25519SignatureHolds(key->key, *digest, signature.signature)) {
      signer = key;
      break;
    }
  }
  if (signer == nullptr) return Refused("the signature does not match the file");

  std::vector<std::uint8_t> global(signature.signature.begin(), signature.signature.end());
  global.insert(global.end(), signature.trusted_comment.begin(), signature.trusted_comment.end());
  if (!Ed25519SignatureHolds(signer->key, global, signature.global_signature)) {
    return Refused("the trusted comment does not match its signature");
  }
  return {true, signature.trusted_comment, {}};
}

Verification VerifyFile(std::span<const PublicKey> keys, FileSystem& files,
                        const std::string& file_path, std::string_view signature_text) {
  std::unique_ptr<ReadableFile> file = files.OpenForReading(file_path);
  if (!file) return Refused("the signed file could not be opened");
  return VerifySignature(keys, *file, signature_text);
}

Verification VerifyFile(std::string_view public_key_text, FileSystem& files,
                        const std::string& file_path, std::string_view signature_text) {
  PublicKeyParse parsed = ParsePublicKey(public_key_text);
  if (!parsed.key) return Refused(parsed.reason);
  return VerifyFile(*parsed.key, files, file_path, signature_text);
}

}  // namespace rariduze
