#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "signing/signature_format.h"

namespace rariduze {

// The signature checks of an update, for a build that carries the publisher's key: the server
// publishes each file's signature beside it, under the file's name + ".minisig", and the
// setup archive's trusted comment names the version it installs ("version:1.0.23"). Without a
// key nothing is checked, and the updater installs what the server offers.
class SignedUpdate {
 public:
  static constexpr const char* kSignatureSuffix = ".minisig";

  // publisher_keys: the key lines of the publisher's .pub files, whose signatures are all
  // good (two while the publisher moves to a new key); none: nothing is checked. A key that
  // cannot be read still asks for signatures and lets none of its own hold, so a broken build
  // setting never turns the checks off.
  SignedUpdate(const std::vector<std::string>& publisher_keys, FileSystem& files);

  // Whether the update files must be signed.
  bool Required() const { return required_; }

  // Where the signature of the file at url (or path) is.
  static std::string SignatureOf(const std::string& url_or_path) {
    return url_or_path + kSignatureSuffix;
  }

  // A signature file is a few hundred bytes: one announced or arriving larger is refused
  // before it is read whole.
  static bool TooLargeForASignature(std::int64_t bytes) {
    return bytes > static_cast<std::int64_t>(kMaxSignatureFileBytes);
  }

  // True when the signature file at SignatureOf(version_file) holds for version_file.
  bool VersionFileHolds(const std::string& version_file) const;

  // True when the signature file at SignatureOf(archive) holds for archive and its trusted
  // comment names exactly version, the one the verified version file announced: an older
  // signed archive left on the server does not pass for the newer version.
  bool SetupArchiveHolds(const std::string& archive, const std::string& version) const;

 private:
  // The trusted comment of a signature that holds for file; nothing otherwise.
  std::optional<std::string> VerifiedComment(const std::string& file) const;

  bool required_ = false;
  std::vector<PublicKey> keys_;
  FileSystem& files_;
};

}  // namespace rariduze
