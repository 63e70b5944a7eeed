#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "signing/signature_format.h"

namespace rariduze {

// The outcome of a signature check. trusted_comment is filled only when ok: an unchecked
// comment is nobody's business.
struct Verification {
  bool ok = false;
  std::string trusted_comment;
  std::string reason;  // why not, a short English text for people; empty when ok
};

// Checks a signature file's text against data: the signature's key id names one of keys, that
// key made the Ed25519 signature over the data's BLAKE2b-512 digest, and the global signature
// holds over the file signature followed by the trusted comment. Several keys let a publisher
// move to a new key while builds that trust both are in use.
Verification VerifySignature(std::span<const PublicKey> keys, ReadableFile& data,
                             std::string_view signature_text);
inline Verification VerifySignature(const PublicKey& key, ReadableFile& data,
                                    std::string_view signature_text) {
  return VerifySignature(std::span<const PublicKey>(&key, 1), data, signature_text);
}

// The same for the file at file_path (UTF-8).
Verification VerifyFile(std::span<const PublicKey> keys, FileSystem& files,
                        const std::string& file_path, std::string_view signature_text);
inline Verification VerifyFile(const PublicKey& key, FileSystem& files,
                               const std::string& file_path, std::string_view signature_text) {
  return VerifyFile(std::span<const PublicKey>(&key, 1), files, file_path, signature_text);
}

// The same with the key as text: a key line, or a .pub file's text.
Verification VerifyFile(std::string_view public_key_text, FileSystem& files,
                        const std::string& file_path, std::string_view signature_text);

}  // namespace rariduze
