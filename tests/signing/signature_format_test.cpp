#include "signing/signature_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "signing/base64.h"
#include "tests/signing/signing_test_text.h"
#include "tests/support/signing_keys.h"
#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

class SignatureFormatTest : public ::testing::Test {
 protected:
  SignatureFormatTest() { WriteFile(dir_.File("setupZT.zip"), Pattern(5000)); }

  std::string Sign(const std::string& comment = "version:1.0.23", bool legacy = false) {
    return keys_.Sign(dir_.File("setupZT.zip"), comment, legacy);
  }

  // The signature line's bytes, edited by change and encoded again.
  template <typename Change>
  std::string WithSignatureBytes(const std::string& signature, Change change) {
    std::vector<std::string> lines = LinesOf(signature);
    std::vector<std::uint8_t> bytes = DecodeBase64(lines.at(1)).value();
    change(bytes);
    lines[1] = EncodeBase64(bytes);
    return JoinLines(lines);
  }

  TestDir dir_{"format"};
  SigningKeyPair keys_{dir_.path(), "publisher"};
};

TEST_F(SignatureFormatTest, ReadsTheToolsKeyLineAndPubFileAlike) {
  PublicKeyParse line = ParsePublicKey(keys_.key_line());
  ASSERT_TRUE(line.key) << line.reason;
  EXPECT_EQ(KeyIdText(line.key->key_id), keys_.key_id_text());
  EXPECT_EQ(keys_.key_id_text().size(), 16u);

  std::string pub_file = ReadFile(keys_.public_key_file());
  std::string crlf = "untrusted comment: copied on another system\r\n" + keys_.key_line() + "\r\n";
  for (const std::string& text :
       {pub_file, crlf, "  " + keys_.key_line() + " \n", pub_file.substr(0, pub_file.size() - 1)}) {
    PublicKeyParse parsed = ParsePublicKey(text);
    ASSERT_TRUE(parsed.key) << parsed.reason << "\n" << text;
    EXPECT_EQ(parsed.key->key_id, line.key->key_id);
    EXPECT_EQ(parsed.key->key, line.key->key);
  }
}

TEST_F(SignatureFormatTest, RefusesBrokenKeysWithAReason) {
  const std::string& key = keys_.key_line();
  std::vector<std::uint8_t> bytes = DecodeBase64(key).value();
  std::vector<std::uint8_t> other_algorithm = bytes;
  other_algorithm[1] = 'D';
  std::vector<std::uint8_t> longer = bytes;
  longer.push_back(0);
  std::string signature_line = LinesOf(Sign()).at(1);

  struct Case {
    std::string text;
    std::string reason;
  };
  for (const Case& broken : std::vector<Case>{
           {"", "the public key is empty"},
           {" \r\n\t", "the public key is empty"},
           {key.substr(0, 20) + "*" + key.substr(21), "the public key is not valid base64"},
           {key.substr(0, key.size() - 4), "the public key has the wrong length"},
           {EncodeBase64(longer), "the public key has the wrong length"},
           {signature_line, "the public key has the wrong length"},
           {EncodeBase64(other_algorithm), "the public key is not an Ed25519 key"},
           {"comment: x\n" + key,
            "the public key must be a key line, or a comment line and a "
            "key line"},
           {"untrusted comment: a\nuntrusted comment: b\n" + key,
            "the public key must be a key line, or a comment line and a key line"},
           {"untrusted comment: a\n\n" + key,
            "the public key must be a key line, or a comment line and a key line"},
           {"untrusted comment: " + std::string(5000, 'x') + "\n" + key,
            "the public key is larger than 4096 bytes"},
       }) {
    PublicKeyParse parsed = ParsePublicKey(broken.text);
    EXPECT_FALSE(parsed.key) << broken.text;
    EXPECT_EQ(parsed.reason, broken.reason) << broken.text;
  }
}

TEST_F(SignatureFormatTest, ReadsTheToolsSignatures) {
  PublicKeyParse key = ParsePublicKey(keys_.key_line());
  ASSERT_TRUE(key.key);

  SignatureFileParse named = ParseSignatureFile(Sign("version:1.0.23"));
  ASSERT_TRUE(named.signature) << named.reason;
  EXPECT_EQ(named.signature->key_id, key.key->key_id);
  EXPECT_EQ(named.signature->trusted_comment, "version:1.0.23");
  EXPECT_EQ(named.signature->untrusted_comment, "signature from minisign secret key");

  // The tool's own trusted comment has tabs, which a comment may hold.
  SignatureFileParse own = ParseSignatureFile(Sign(""));
  ASSERT_TRUE(own.signature) << own.reason;
  EXPECT_TRUE(own.signature->trusted_comment.starts_with("timestamp:"));
  EXPECT_NE(own.signature->trusted_comment.find("\tfile:setupZT.zip"), std::string::npos);
}

TEST_F(SignatureFormatTest, TakesCrLfAndAMissingLastLineEnd) {
  std::string signature = Sign();
  SignatureFileParse lf = ParseSignatureFile(signature);
  ASSERT_TRUE(lf.signature) << lf.reason;

  std::string crlf;
  for (const std::string& line : LinesOf(signature)) crlf += line + "\r\n";
  for (const std::string& text :
       {crlf, signature.substr(0, signature.size() - 1), crlf.substr(0, crlf.size() - 2)}) {
    SignatureFileParse parsed = ParseSignatureFile(text);
    ASSERT_TRUE(parsed.signature) << parsed.reason;
    EXPECT_EQ(parsed.signature->signature, lf.signature->signature);
    EXPECT_EQ(parsed.signature->trusted_comment, "version:1.0.23");
    EXPECT_EQ(parsed.signature->global_signature, lf.signature->global_signature);
  }
}

TEST_F(SignatureFormatTest, RefusesBrokenSignatureFilesWithAReason) {
  std::string good = Sign();
  std::vector<std::string> lines = LinesOf(good);
  ASSERT_EQ(lines.size(), 4u);
  auto with_line = [&](std::size_t index, const std::string& text) {
    std::vector<std::string> edited = lines;
    edited[index] = text;
    return JoinLines(edited);
  };

  struct Case {
    std::string text;
    std::string reason;
  };
  const std::string kEndsEarly = "the signature file ends early";
  for (const Case& broken : std::vector<Case>{
           {"", "the signature file is empty"},
           {lines[0] + "\n", kEndsEarly},
           {lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n", kEndsEarly},
           {good + "\n", "the signature file has extra lines"},
           {good + lines[3] + "\n", "the signature file has extra lines"},
           {"\n" + good, "the signature file has extra lines"},
           {with_line(0, "comment: x"),
            "the signature file does not start with an untrusted comment"},
           {with_line(0, "Untrusted comment: x"),
            "the signature file does not start with an untrusted comment"},
           {with_line(0, "untrusted comment: a\x1b[2Jb"),
            "the untrusted comment holds a control character"},
           {with_line(1, lines[1].substr(0, 50) + "*" + lines[1].substr(51)),
            "the signature line is not valid base64"},
           {with_line(1, lines[1] + " "), "the signature line is not valid base64"},
           {with_line(1, lines[1].substr(0, lines[1].size() - 4)),
            "the signature line has the wrong length"},
           {with_line(1, lines[3]), "the signature line has the wrong length"},
           {Sign("version:1.0.23", true), kLegacyRefused},
           {WithSignatureBytes(good, [](auto& bytes) { bytes[1] = 'd'; }), kLegacyRefused},
           {WithSignatureBytes(good, [](auto& bytes) { bytes[1] = 'd' + 1; }),
            "the signature uses an unknown algorithm"},
           {WithSignatureBytes(good, [](auto& bytes) { bytes[0] = 'e'; }),
            "the signature uses an unknown algorithm"},
           {with_line(2, "untrusted comment: version:1.0.23"),
            "the signature file has no trusted comment"},
           {with_line(2, "trusted comment:version:1.0.23"),
            "the signature file has no trusted comment"},
           {with_line(2, "trusted comment: version:1.0.23\rversion:1.0.99"),
            "the trusted comment holds a control character"},
           {with_line(2, std::string("trusted comment: version:1.0.23\0x", 33)),
            "the trusted comment holds a control character"},
           {with_line(3, lines[3].substr(0, 10) + "." + lines[3].substr(11)),
            "the global signature is not valid base64"},
           {with_line(3, ""), "the global signature has the wrong length"},
           {with_line(3, lines[3].substr(0, lines[3].size() - 4)),
            "the global signature has the wrong length"},
           {with_line(3, lines[1]), "the global signature has the wrong length"},
           {with_line(0, "untrusted comment: " + std::string(8200, 'x')),
            "the signature file is larger than 8192 bytes"},
       }) {
    SignatureFileParse parsed = ParseSignatureFile(broken.text);
    EXPECT_FALSE(parsed.signature) << broken.text;
    EXPECT_EQ(parsed.reason, broken.reason) << broken.text;
  }
}

TEST_F(SignatureFormatTest, EveryTruncationIsRefused) {
  // Only the last line end may go; every shorter piece of the file is refused.
  std::string good = Sign();
  for (std::size_t size = 0; size + 1 < good.size(); ++size) {
    EXPECT_FALSE(ParseSignatureFile(good.substr(0, size)).signature) << size;
  }
}

TEST_F(SignatureFormatTest, ASignatureFileUpToTheLimitIsRead) {
  std::vector<std::string> lines = LinesOf(Sign());
  std::size_t others = lines[1].size() + lines[2].size() + lines[3].size() + 4;
  lines[0] = "untrusted comment: ";
  lines[0] += std::string(kMaxSignatureFileBytes - others - lines[0].size(), 'x');
  std::string at_limit = JoinLines(lines);
  ASSERT_EQ(at_limit.size(), kMaxSignatureFileBytes);
  EXPECT_TRUE(ParseSignatureFile(at_limit).signature);
  EXPECT_FALSE(ParseSignatureFile(at_limit + "x").signature);
}

}  // namespace
}  // namespace rariduze::testing
