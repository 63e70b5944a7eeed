#include "signing/signature_format.h"

#include <algorithm>
#include <vector>

#include "signing/base64.h"

namespace rariduze {
namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::size_t kAlgorithmSize = 2;
constexpr std::size_t kKeyLineBytes = kAlgorithmSize + kKeyIdSize + kEd25519KeySize;
constexpr std::size_t kSignatureLineBytes = kAlgorithmSize + kKeyIdSize + kEd25519SignatureSize;

// The lines of text: each LF ends one, a CR just before it belongs to the line ending, and a
// last line without LF still counts. A final LF does not start another line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool HasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t') || byte == 0x7f;
  });
}

std::string_view TrimBlanks(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

template <std::size_t Size>
std::array<std::uint8_t, Size> Take(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  std::array<std::uint8_t, Size> part{};
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), Size, part.begin());
  return part;
}

PublicKeyParse KeyFailure(std::string reason) { return {std::nullopt, std::move(reason)}; }

SignatureFileParse SignatureFailure(std::string reason) {
  return {std::nullopt, std::move(reason)};
}

PublicKeyParse ParseKeyLine(std::string_view line) {
  if (line.empty()) return KeyFailure("the public key is empty");
  std::optional<std::vector<std::uint8_t>> bytes = DecodeBase64(line);
  if (!bytes) return KeyFailure("the public key is not valid base64");
  if (bytes->size() != kKeyLineBytes) return KeyFailure("the public key has the wrong length");
  if ((*bytes)[0] != 'E' || (*bytes)[1] != 'd') {
    return KeyFailure("the public key is not an Ed25519 key");
  }
  PublicKey key;
  key.key_id = Take<kKeyIdSize>(*bytes, kAlgorithmSize);
  key.key = Take<kEd25519KeySize>(*bytes, kAlgorithmSize + kKeyIdSize);
  return {key, {}};
}

}  // namespace

PublicKeyParse ParsePublicKey(std::string_view text) {
  if (text.size() > kMaxPublicKeyFileBytes) {
    return KeyFailure("the public key is larger than " + std::to_string(kMaxPublicKeyFileBytes) +
                      " bytes");
  }
  std::vector<std::string_view> lines = SplitLines(TrimBlanks(text));
  if (lines.empty()) return KeyFailure("the public key is empty");
  if (lines.size() == 1) return ParseKeyLine(lines[0]);
  if (lines.size() != 2 || !lines[0].starts_with(kUntrustedPrefix)) {
    return KeyFailure("the public key must be a key line, or a comment line and a key line");
  }
  return ParseKeyLine(lines[1]);
}

SignatureFileParse ParseSignatureFile(std::string_view text) {
  if (text.size() > kMaxSignatureFileBytes) {
    return SignatureFailure("the signature file is larger than " +
                            std::to_string(kMaxSignatureFileBytes) + " bytes");
  }
  if (text.empty()) return SignatureFailure("the signature file is empty");
  std::vector<std::string_view> lines = SplitLines(text);
  if (lines.size() < 4) return SignatureFailure("the signature file ends early");
  if (lines.size() > 4) return SignatureFailure("the signature file has extra lines");

  SignatureFile signature;
  if (!lines[0].starts_with(kUntrustedPrefix)) {
    return SignatureFailure("the signature file does not start with an untrusted comment");
  }
  signature.untrusted_comment = lines[0].substr(kUntrustedPrefix.size());
  if (HasControlCharacter(signature.untrusted_comment)) {
    return SignatureFailure("the untrusted comment holds a control character");
  }

  std::optional<std::vector<std::uint8_t>> line = DecodeBase64(lines[1]);
  if (!line) return SignatureFailure("the signature line is not valid base64");
  if (line->size() != kSignatureLineBytes) {
    return SignatureFailure("the signature line has the wrong length");
  }
  if ((*line)[0] == 'E' && (*line)[1] == 'd') {
    return SignatureFailure(
        "the signature is in the legacy form (\"Ed\"), which is refused; only prehashed "
        "(\"ED\") signatures are accepted");
  }
  if ((*line)[0] != 'E' || (*line)[1] != 'D') {
    return SignatureFailure("the signature uses an unknown algorithm");
  }
  signature.key_id = Take<kKeyIdSize>(*line, kAlgorithmSize);
  signature.signature = Take<kEd25519SignatureSize>(*line, kAlgorithmSize + kKeyIdSize);

  if (!lines[2].starts_with(kTrustedPrefix)) {
    return SignatureFailure("the signature file has no trusted comment");
  }
  signature.trusted_comment = lines[2].substr(kTrustedPrefix.size());
  if (HasControlCharacter(signature.trusted_comment)) {
    return SignatureFailure("the trusted comment holds a control character");
  }

  std::optional<std::vector<std::uint8_t>> global = DecodeBase64(lines[3]);
  if (!global) return SignatureFailure("the global signature is not valid base64");
  if (global->size() != kEd25519SignatureSize) {
    return SignatureFailure("the global signature has the wrong length");
  }
  signature.global_signature = Take<kEd25519SignatureSize>(*global, 0);
  return {std::move(signature), {}};
}

std::string KeyIdText(const KeyId& key_id) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = key_id.size(); i-- > 0;) {
    text += kDigits[key_id[i] >> 4];
    text += kDigits[key_id[i] & 0x0f];
  }
  return text;
}

}  // namespace rariduze
