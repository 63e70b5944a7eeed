#include "app/signed_update.h"

#include <utility>

#include "signing/bounded_file.h"
#include "signing/trusted_comment.h"
#include "signing/verify.h"

namespace rariduze {

SignedUpdate::SignedUpdate(const std::vector<std::string>& publisher_keys, FileSystem& files)
    : required_(!publisher_keys.empty()), files_(files) {
  for (const std::string& text : publisher_keys) {
    if (std::optional<PublicKey> key = ParsePublicKey(text).key) keys_.push_back(*key);
  }
}

std::optional<std::string> SignedUpdate::VerifiedComment(const std::string& file) const {
  if (keys_.empty()) return std::nullopt;
  const BoundedFile signature = ReadFileUpTo(files_, SignatureOf(file), kMaxSignatureFileBytes);
  if (signature.outcome != BoundedFile::Outcome::kRead) return std::nullopt;
  Verification verification = VerifyFile(keys_, files_, file, signature.bytes);
  if (!verification.ok) return std::nullopt;
  return std::move(verification.trusted_comment);
}

bool SignedUpdate::VersionFileHolds(const std::string& version_file) const {
  return VerifiedComment(version_file).has_value();
}

bool SignedUpdate::SetupArchiveHolds(const std::string& archive, const std::string& version) const {
  const std::optional<std::string> comment = VerifiedComment(archive);
  return comment && TrustedCommentNamesVersion(*comment, version);
}

}  // namespace rariduze
