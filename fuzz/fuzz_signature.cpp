// Arbitrary bytes as a signature file followed by the data it signs, and as a public key: the
// parsers and the check end without fault, a refusal always says why, and nothing passes the
// check that the parser did not read the same way.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "signing/base64.h"
#include "signing/signature_format.h"
#include "signing/trusted_comment.h"
#include "signing/verify.h"

namespace {

// The public half of signature-seeds.key, which signed the seeds (seeds-signature.sh).
constexpr std::string_view kSeedKey = "RWQ4iYVe/TD4h5jX8MczT9kFJQtTop4tw4tLAf/GpjUbNgQ0vo2SVkrL";

class MemorySource : public rariduze::ReadableFile {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::optional<std::size_t> Read(char* buffer, std::size_t capacity) override {
    std::size_t count = std::min(capacity, bytes_.size());
    if (count > 0) std::memcpy(buffer, bytes_.data(), count);
    bytes_.remove_prefix(count);
    return count;
  }

 private:
  std::string_view bytes_;
};

// The signature file is the text up to the end of its fourth line; the rest is the data.
std::size_t SignatureEnd(std::string_view input) {
  std::size_t end = 0;
  for (int line = 0; line < 4; ++line) {
    std::size_t found = input.find('\n', end);
    if (found == std::string_view::npos) return input.size();
    end = found + 1;
  }
  return end;
}

void CheckVerification(const rariduze::PublicKey& key, std::string_view signature_text,
                       std::string_view data, const rariduze::SignatureFileParse& parsed) {
  MemorySource source(data);
  rariduze::Verification result = rariduze::VerifySignature(key, source, signature_text);
  if (result.ok != result.reason.empty()) __builtin_trap();
  if (!result.ok) {
    if (!result.trusted_comment.empty()) __builtin_trap();
    return;
  }
  if (!parsed.signature || parsed.signature->key_id != key.key_id) __builtin_trap();
  if (result.trusted_comment != parsed.signature->trusted_comment) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);

  rariduze::PublicKeyParse key_parse = rariduze::ParsePublicKey(input);
  if (key_parse.key.has_value() == !key_parse.reason.empty()) __builtin_trap();
  std::string_view first_line = input.substr(0, input.find('\n'));
  if (auto bytes = rariduze::DecodeBase64(first_line)) {
    if (first_line.size() % 4 != 0 || bytes->size() > first_line.size() / 4 * 3) __builtin_trap();
  }

  std::size_t end = SignatureEnd(input);
  std::string_view signature_text = input.substr(0, end);
  std::string_view signed_data = input.substr(end);
  rariduze::SignatureFileParse parsed = rariduze::ParseSignatureFile(signature_text);
  if (parsed.signature.has_value() == !parsed.reason.empty()) __builtin_trap();
  if (parsed.signature) {
    const std::string& comment = parsed.signature->trusted_comment;
    if (signature_text.find("trusted comment: " + comment) == std::string_view::npos) {
      __builtin_trap();
    }
    if (comment.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
      __builtin_trap();
    }
    std::optional<std::string_view> version = rariduze::VersionInTrustedComment(comment);
    if (version && comment.find(*version) == std::string::npos) __builtin_trap();
    if (version && !version->empty() &&
        !rariduze::TrustedCommentNamesVersion(comment, std::string(*version))) {
      __builtin_trap();
    }
  }

  // The seeds' key as it is, and with the key id the signature names, so that hostile
  // signatures reach the Ed25519 check too.
  static const rariduze::PublicKey seed_key = *rariduze::ParsePublicKey(kSeedKey).key;
  CheckVerification(seed_key, signature_text, signed_data, parsed);
  if (parsed.signature) {
    rariduze::PublicKey named = seed_key;
    named.key_id = parsed.signature->key_id;
    CheckVerification(named, signature_text, signed_data, parsed);
  }
  return 0;
}
