#include "signing/verify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "signing/base64.h"
#include "signing/bounded_file.h"
#include "signing/crypto_library.h"
#include "tests/signing/signing_test_text.h"
#include "tests/support/signing_keys.h"
#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

// Bytes handed out from memory, that fail after fail_after bytes when asked to, and count
// what they handed out.
class MemorySource : public ReadableFile {
 public:
  explicit MemorySource(std::string bytes, std::size_t fail_after = std::string::npos)
      : bytes_(std::move(bytes)), fail_after_(fail_after) {}
  std::optional<std::size_t> Read(char* buffer, std::size_t capacity) override {
    if (handed_out_ >= fail_after_) return std::nullopt;
    std::size_t count =
        std::min({capacity, bytes_.size() - handed_out_, fail_after_ - handed_out_});
    std::memcpy(buffer, bytes_.data() + handed_out_, count);
    handed_out_ += count;
    return count;
  }

 private:
  std::string bytes_;
  std::size_t fail_after_;
  std::size_t handed_out_ = 0;
};

// The archive is several reading pieces long, so the digest is fed more than once.
class VerifyTest : public ::testing::Test {
 protected:
  VerifyTest() {
    WriteFile(Archive(), bytes_);
    key_ = KeyOf(publisher_);
  }

  static PublicKey KeyOf(const SigningKeyPair& pair) {
    PublicKeyParse parsed = ParsePublicKey(pair.key_line());
    EXPECT_TRUE(parsed.key) << parsed.reason;
    return parsed.key.value_or(PublicKey{});
  }
  std::string Archive() const { return dir_.File("setupZT.zip"); }
  std::string SignArchive(const std::string& comment = "version:1.0.23") {
    return publisher_.Sign(Archive(), comment);
  }
  Verification Check(const std::string& signature) {
    return VerifyFile(key_, FileSystem::Default(), Archive(), signature);
  }
  static void ExpectRefused(const Verification& result, const std::string& reason) {
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.reason, reason);
    EXPECT_EQ(result.trusted_comment, "");
  }

  TestDir dir_{"verify"};
  std::string bytes_ = Pattern(300 * 1000, 7);
  SigningKeyPair publisher_{dir_.path(), "publisher"};
  PublicKey key_;
};

TEST_F(VerifyTest, TheToolsSignaturesHold) {
  Verification result = Check(SignArchive());
  EXPECT_TRUE(result.ok) << result.reason;
  EXPECT_EQ(result.trusted_comment, "version:1.0.23");
  EXPECT_EQ(result.reason, "");

  WriteFile(Archive(), "");
  result = Check(SignArchive());
  EXPECT_TRUE(result.ok) << "an empty file: " << result.reason;
}

TEST_F(VerifyTest, OneFlippedByteAnywhereIsRefused) {
  std::string signature = SignArchive();
  for (std::size_t position : {std::size_t{0}, bytes_.size() / 2, bytes_.size() - 1}) {
    std::string edited = bytes_;
    edited[position] = static_cast<char>(edited[position] ^ 0x01);
    WriteFile(Archive(), edited);
    ExpectRefused(Check(signature), "the signature does not match the file");
  }
  WriteFile(Archive(), bytes_.substr(0, bytes_.size() - 1));
  ExpectRefused(Check(signature), "the signature does not match the file");
}

TEST_F(VerifyTest, LegacySignaturesAreRefused) {
  // The tool's own, of a small file, which it would verify.
  const std::string small = dir_.File("versionZT.dat");
  WriteFile(small, "1.0.23\r\n");
  ExpectRefused(VerifyFile(key_, FileSystem::Default(), small,
                           publisher_.Sign(small, "version:1.0.23", true)),
                kLegacyRefused);

  // The publisher's prehashed signature relabelled: the form bytes are covered by no
  // signature, so as "Ed" it would hold for a file that holds nothing but the archive's digest.
  std::vector<std::string> lines = LinesOf(SignArchive());
  std::vector<std::uint8_t> bytes = DecodeBase64(lines[1]).value();
  ASSERT_EQ(bytes[1], 'D');
  bytes[1] = 'd';
  lines[1] = EncodeBase64(bytes);
  Blake2b512 digest;
  digest.Add(bytes_.data(), bytes_.size());
  const auto archive_digest = digest.Finish().value();
  const std::string digest_file = dir_.File("digest");
  WriteFile(digest_file, std::string(archive_digest.begin(), archive_digest.end()));
  ExpectRefused(VerifyFile(key_, FileSystem::Default(), digest_file, JoinLines(lines)),
                kLegacyRefused);
}

TEST_F(VerifyTest, TheSignatureOfAnotherFileIsRefused) {
  std::string other = dir_.File("versionZT.dat");
  WriteFile(other, "1.0.23\r\n");
  ExpectRefused(Check(publisher_.Sign(other, "version:1.0.23")),
                "the signature does not match the file");
}

TEST_F(VerifyTest, AnotherKeysSignatureIsRefusedByItsKeyId) {
  SigningKeyPair stranger(dir_.path(), "stranger");
  std::string signature = stranger.Sign(Archive(), "version:1.0.23");
  ExpectRefused(Check(signature), "the signature was made with another key (key id " +
                                      stranger.key_id_text() + ", expected " +
                                      publisher_.key_id_text() + ")");
}

TEST_F(VerifyTest, TheKeyIdAloneProvesNothing) {
  // Another key's signature carrying the publisher's key id.
  SigningKeyPair stranger(dir_.path(), "stranger");
  std::vector<std::string> lines = LinesOf(stranger.Sign(Archive(), "version:1.0.23"));
  std::vector<std::uint8_t> bytes = DecodeBase64(lines[1]).value();
  std::copy(key_.key_id.begin(), key_.key_id.end(), bytes.begin() + 2);
  lines[1] = EncodeBase64(bytes);
  ExpectRefused(Check(JoinLines(lines)), "the signature does not match the file");

  // The publisher's signature carrying another key id.
  lines = LinesOf(SignArchive());
  bytes = DecodeBase64(lines[1]).value();
  bytes[2] ^= 0x80;
  lines[1] = EncodeBase64(bytes);
  Verification result = Check(JoinLines(lines));
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.reason.starts_with("the signature was made with another key"))
      << result.reason;
}

// A build that trusts the old key and the new one while the publisher moves between them.
TEST_F(VerifyTest, WithSeveralKeysASignatureByAnyOneHolds) {
  SigningKeyPair successor(dir_.path(), "successor");
  SigningKeyPair stranger(dir_.path(), "stranger");
  const std::vector<PublicKey> keys = {key_, KeyOf(successor)};
  for (const SigningKeyPair* signer : {&publisher_, &successor}) {
    Verification result = VerifyFile(keys, FileSystem::Default(), Archive(),
                                     signer->Sign(Archive(), "version:1.0.23"));
    EXPECT_TRUE(result.ok) << signer->key_id_text() << ": " << result.reason;
    EXPECT_EQ(result.trusted_comment, "version:1.0.23");
  }
  ExpectRefused(VerifyFile(keys, FileSystem::Default(), Archive(),
                           stranger.Sign(Archive(), "version:1.0.23")),
                "the signature was made with another key (key id " + stranger.key_id_text() +
                    ", expected " + publisher_.key_id_text() + " or " + successor.key_id_text() +
                    ")");

  // A key that only shares the signature's key id does not hide the one that signed.
  PublicKey impostor = KeyOf(stranger);
  impostor.key_id = key_.key_id;
  const std::vector<PublicKey> shared_id = {impostor, key_};
  EXPECT_TRUE(VerifyFile(shared_id, FileSystem::Default(), Archive(), SignArchive()).ok);
  ExpectRefused(
      VerifyFile(std::vector<PublicKey>{impostor}, FileSystem::Default(), Archive(), SignArchive()),
      "the signature does not match the file");

  ExpectRefused(
      VerifyFile(std::vector<PublicKey>{}, FileSystem::Default(), Archive(), SignArchive()),
      "there is no public key to check the signature with");
}

TEST_F(VerifyTest, AnEditedTrustedCommentIsRefused) {
  std::vector<std::string> lines = LinesOf(SignArchive("version:1.0.22"));
  ASSERT_EQ(lines[2], "trusted comment: version:1.0.22");
  for (const char* edited : {"trusted comment: version:1.0.23", "trusted comment: version:1.0.22 ",
                             "trusted comment: "}) {
    lines[2] = edited;
    ExpectRefused(Check(JoinLines(lines)), "the trusted comment does not match its signature");
  }
}

TEST_F(VerifyTest, ATrustedCommentFromAnotherSignatureIsRefused) {
  // Both halves are the publisher's, but the global signature binds the comment to the file
  // signature it was made with.
  std::vector<std::string> lines = LinesOf(SignArchive("version:1.0.22"));
  std::string other = dir_.File("other.zip");
  WriteFile(other, "another archive");
  std::vector<std::string> other_lines = LinesOf(publisher_.Sign(other, "version:1.0.23"));
  lines[2] = other_lines[2];
  lines[3] = other_lines[3];
  ExpectRefused(Check(JoinLines(lines)), "the trusted comment does not match its signature");
}

TEST_F(VerifyTest, BrokenSignatureTextsAreRefusedWithTheParsersReason) {
  ExpectRefused(Check(""), "the signature file is empty");
  ExpectRefused(Check(Pattern(200, 3)), "the signature file ends early");
  std::string good = SignArchive();
  ExpectRefused(Check(good.substr(0, good.size() / 2)), "the signature file ends early");
  ExpectRefused(Check(good.substr(0, good.size() - 9) + "\n"),
                "the global signature has the wrong length");
  ExpectRefused(Check(std::string(kMaxSignatureFileBytes + 1, 'x')),
                "the signature file is larger than 8192 bytes");
}

TEST_F(VerifyTest, TakesTheKeyAsALineOrAsPubFileText) {
  std::string signature = SignArchive();
  EXPECT_TRUE(VerifyFile(publisher_.key_line(), FileSystem::Default(), Archive(), signature).ok);
  EXPECT_TRUE(VerifyFile(ReadFile(publisher_.public_key_file()), FileSystem::Default(), Archive(),
                         signature)
                  .ok);
  ExpectRefused(VerifyFile("", FileSystem::Default(), Archive(), signature),
                "the public key is empty");
  ExpectRefused(VerifyFile("RWQ", FileSystem::Default(), Archive(), signature),
                "the public key is not valid base64");
}

TEST_F(VerifyTest, AFileThatCannotBeReadIsRefused) {
  std::string signature = SignArchive();
  ExpectRefused(VerifyFile(key_, FileSystem::Default(), dir_.File("missing.zip"), signature),
                "the signed file could not be opened");
  std::filesystem::create_directory(dir_.File("folder.zip"));
  Verification folder = VerifyFile(key_, FileSystem::Default(), dir_.File("folder.zip"), signature);
  EXPECT_FALSE(folder.ok);
  EXPECT_TRUE(folder.reason == "the signed file could not be read" ||
              folder.reason == "the signed file could not be opened")
      << folder.reason;

  // A reading failure halfway is no verdict on the signature.
  MemorySource failing(bytes_, bytes_.size() / 2);
  ExpectRefused(VerifySignature(key_, failing, signature), "the signed file could not be read");
  MemorySource whole(bytes_);
  EXPECT_TRUE(VerifySignature(key_, whole, signature).ok);
}

TEST(ReadFileUpToTest, ReadsUpToTheLimitAndNoFurther) {
  TestDir dir("bounded");
  WriteFile(dir.File("at-limit"), std::string(100, 'a'));
  WriteFile(dir.File("over-limit"), std::string(101, 'a'));
  WriteFile(dir.File("empty"), "");

  BoundedFile at_limit = ReadFileUpTo(FileSystem::Default(), dir.File("at-limit"), 100);
  EXPECT_EQ(at_limit.outcome, BoundedFile::Outcome::kRead);
  EXPECT_EQ(at_limit.bytes, std::string(100, 'a'));
  BoundedFile empty = ReadFileUpTo(FileSystem::Default(), dir.File("empty"), 100);
  EXPECT_EQ(empty.outcome, BoundedFile::Outcome::kRead);
  EXPECT_EQ(empty.bytes, "");
  EXPECT_EQ(ReadFileUpTo(FileSystem::Default(), dir.File("over-limit"), 100).outcome,
            BoundedFile::Outcome::kTooLarge);
  EXPECT_EQ(ReadFileUpTo(FileSystem::Default(), dir.File("missing"), 100).outcome,
            BoundedFile::Outcome::kUnreadable);
  // An endless file ends the read at the limit.
  BoundedFile endless = ReadFileUpTo(FileSystem::Default(), "/dev/zero", kMaxSignatureFileBytes);
  EXPECT_EQ(endless.outcome, BoundedFile::Outcome::kTooLarge);
  EXPECT_EQ(endless.bytes, "");
}

}  // namespace
}  // namespace rariduze::testing
