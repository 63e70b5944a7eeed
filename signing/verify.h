#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "signing/byte_source.h"
#include "signing/signature_format.h"

namespace rariduze {

// The outcome of a signature check. trusted_comment is filled only when ok: an unchecked
// comment is nobody's business.
struct Verification {
  bool ok = false;
  std::string trusted_comment;
  std::string reason;  // why not, a short English text for people; empty when ok
};

// The legacy form signs the bytes themselves, which the cryptography library takes only in
// small pieces (crypto_library.h): larger data is refused, read no further than this. The
// default form signs a digest and has no such limit.
inline constexpr std::size_t kMaxLegacySignedBytes = 32 * 1024;

// Checks a signature file's text against data: the signature was made by key (key id and
// Ed25519 signature over the data, or over its BLAKE2b-512 digest in the default form), and
// the global signature holds over the file signature followed by the trusted comment.
Verification VerifySignature(const PublicKey& key, ByteSource& data,
                             std::string_view signature_text);

// The same for the file at file_path (UTF-8).
Verification VerifyFile(const PublicKey& key, const std::string& file_path,
                        std::string_view signature_text);

// The same with the key as text: a key line, or a .pub file's text.
Verification VerifyFile(std::string_view public_key_text, const std::string& file_path,
                        std::string_view signature_text);

}  // namespace rariduze
