#pragma once

#include <string>

namespace rariduze::testing {

// A key pair made by the real signing tool (minisign, no password) in folder, and signatures
// made with it, as a publisher makes them.
class SigningKeyPair {
 public:
  // Makes name.pub and name.key in folder; raises a gtest failure when the tool fails.
  SigningKeyPair(const std::string& folder, const std::string& name);

  const std::string& public_key_file() const { return public_key_file_; }
  const std::string& secret_key_file() const { return secret_key_file_; }
  // The key line: the .pub file's second line.
  const std::string& key_line() const { return key_line_; }
  // The key id as the program shows it: the .pub file comment's, with all 16 digits.
  const std::string& key_id_text() const { return key_id_text_; }

  // Signs file into signature_file (default: file + ".minisig") with trusted_comment (empty:
  // the tool's own) in the default prehashed form, or in the legacy one; the signature file's
  // text. Raises a gtest failure when the tool fails.
  std::string Sign(const std::string& file, const std::string& trusted_comment = "",
                   bool legacy = false, std::string signature_file = "") const;

 private:
  std::string public_key_file_;
  std::string secret_key_file_;
  std::string key_line_;
  std::string key_id_text_;
};

}  // namespace rariduze::testing
