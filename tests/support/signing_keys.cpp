#include "tests/support/signing_keys.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

constexpr const char* kTool = "minisign";
constexpr std::string_view kPublicKeyComment = "untrusted comment: minisign public key ";

}  // namespace

SigningKeyPair::SigningKeyPair(const std::string& folder, const std::string& name)
    : public_key_file_(folder + "/" + name + ".pub"),
      secret_key_file_(folder + "/" + name + ".key") {
  ProgramRun run =
      RunProgram({kTool, "-G", "-f", "-W", "-p", public_key_file_, "-s", secret_key_file_});
  EXPECT_EQ(run.exit_status, 0) << "minisign -G: " << run.output << run.errors;
  std::string text = ReadFile(public_key_file_);
  std::size_t line_end = text.find('\n');
  if (line_end == std::string::npos) {
    ADD_FAILURE() << "no public key made in " << public_key_file_;
    return;
  }
  std::string comment = text.substr(0, line_end);
  if (comment.starts_with(kPublicKeyComment)) {
    key_id_text_ = comment.substr(kPublicKeyComment.size());
    // The tool drops leading zeros of the id; the program always shows all 16 digits.
    constexpr std::size_t kKeyIdDigits = 16;
    if (key_id_text_.size() < kKeyIdDigits) {
      key_id_text_.insert(0, kKeyIdDigits - key_id_text_.size(), '0');
    }
  }
  key_line_ = text.substr(line_end + 1);
  while (!key_line_.empty() && (key_line_.back() == '\n' || key_line_.back() == '\r')) {
    key_line_.pop_back();
  }
}

std::string SigningKeyPair::Sign(const std::string& file, const std::string& trusted_comment,
                                 bool legacy, std::string signature_file) const {
  if (signature_file.empty()) signature_file = file + ".minisig";
  std::vector<std::string> argv = {kTool, "-S", "-s", secret_key_file_,
                                   "-m",  file, "-x", signature_file};
  if (legacy) argv.emplace_back("-l");
  if (!trusted_comment.empty()) {
    argv.emplace_back("-t");
    argv.push_back(trusted_comment);
  }
  ProgramRun run = RunProgram(argv);
  EXPECT_EQ(run.exit_status, 0) << "minisign -S: " << run.output << run.errors;
  return ReadFile(signature_file);
}

}  // namespace rariduze::testing
