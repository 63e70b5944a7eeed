#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rariduze {

// Keys and signatures in the text form the publisher's signing tool (minisign) writes.
//
// A public key is one base64 line of 42 bytes: "Ed", an 8-byte key id, the 32-byte Ed25519
// key. The key's .pub file puts an "untrusted comment: " line before it.
//
// A signature file has four lines, each ended by LF or CR LF (the last one may have none):
//   untrusted comment: <anything>
//   <base64 of 74 bytes: "ED", the 8-byte key id, the 64-byte Ed25519 signature of the
//    file's BLAKE2b-512 digest>
//   trusted comment: <text>
//   <base64 of the 64-byte Ed25519 signature over the file signature and the text>
// Nothing else may follow. Comments may hold no control character other than tab.
//
// The tool's legacy form "Ed" (the file's bytes signed themselves) is refused: the two letters
// are covered by no signature, so a prehashed signature relabelled "Ed" would hold for a file
// that holds nothing but the signed file's digest.

inline constexpr std::size_t kKeyIdSize = 8;
inline constexpr std::size_t kEd25519KeySize = 32;
inline constexpr std::size_t kEd25519SignatureSize = 64;
// Larger signature files are refused unread; the tool's own files are a few hundred bytes.
inline constexpr std::size_t kMaxSignatureFileBytes = 8192;
// Larger key texts (or .pub files) are refused unread.
inline constexpr std::size_t kMaxPublicKeyFileBytes = 4096;

using KeyId = std::array<std::uint8_t, kKeyIdSize>;
using Ed25519Key = std::array<std::uint8_t, kEd25519KeySize>;
using Ed25519Signature = std::array<std::uint8_t, kEd25519SignatureSize>;

struct PublicKey {
  KeyId key_id{};
  Ed25519Key key{};
};

struct SignatureFile {
  KeyId key_id{};
  Ed25519Signature signature{};   // of the file's BLAKE2b-512 digest
  std::string untrusted_comment;  // without its "untrusted comment: " prefix
  std::string trusted_comment;    // without its "trusted comment: " prefix
  Ed25519Signature global_signature{};
};

// The value, or why there is none (a short English text, for people).
struct PublicKeyParse {
  std::optional<PublicKey> key;
  std::string reason;
};
struct SignatureFileParse {
  std::optional<SignatureFile> signature;
  std::string reason;
};

// Reads a key line (blanks around it are ignored, as in a build setting), or a .pub file's
// text: an untrusted comment line and the key line.
PublicKeyParse ParsePublicKey(std::string_view text);

// Reads a signature file's whole text; refuses one over kMaxSignatureFileBytes.
SignatureFileParse ParseSignatureFile(std::string_view text);

// The key id as the tool shows it: 16 upper-case hex digits, last byte first.
std::string KeyIdText(const KeyId& key_id);

}  // namespace rariduze
