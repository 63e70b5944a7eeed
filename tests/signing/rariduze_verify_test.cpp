#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/signing/signing_test_text.h"
#include "tests/support/child_process.h"
#include "tests/support/host.h"
#include "tests/support/signing_keys.h"
#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

class RariduzeVerifyToolTest : public ::testing::Test {
 protected:
  RariduzeVerifyToolTest() {
    WriteFile(Archive(), Pattern(20000, 5));
    publisher_.Sign(Archive(), "version:1.0.23");
  }

  static ProgramRun Verify(std::vector<std::string> args) {
    args.insert(args.begin(), VERIFY_TOOL);
    return RunProgram(args, std::chrono::seconds(30));
  }
  std::string Archive() const { return dir_.File("setupZT.zip"); }
  std::string Signature() const { return Archive() + ".minisig"; }

  TestDir dir_{"verify-tool"};
  SigningKeyPair publisher_{dir_.path(), "publisher"};
};

TEST_F(RariduzeVerifyToolTest, PrintsVerifiedAndTheTrustedComment) {
  for (const std::string& key : {publisher_.public_key_file(), publisher_.key_line()}) {
    ProgramRun run = Verify({key, Archive(), Signature()});
    EXPECT_EQ(run.exit_status, 0) << run.errors;
    EXPECT_EQ(run.output, "verified\ntrusted comment: version:1.0.23\n");
    EXPECT_EQ(run.errors, "");
  }
  ProgramRun named =
      Verify({publisher_.public_key_file(), Archive(), Signature(), "--version", "1.0.23"});
  EXPECT_EQ(named.exit_status, 0) << named.errors;
  EXPECT_EQ(named.output, "verified\ntrusted comment: version:1.0.23\n");
  ProgramRun option_first =
      Verify({"--version", "1.0.23", publisher_.public_key_file(), Archive(), Signature()});
  EXPECT_EQ(option_first.exit_status, 0) << option_first.errors;
}

TEST_F(RariduzeVerifyToolTest, RefusesTheLegacyForm) {
  std::string version_file = dir_.File("versionZT.dat");
  WriteFile(version_file, "1.0.23\r\n");
  publisher_.Sign(version_file, "version:1.0.23", true);
  ProgramRun run = Verify({publisher_.key_line(), version_file, version_file + ".minisig"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.output, "error " + std::string(kLegacyRefused) + "\n");
}

TEST_F(RariduzeVerifyToolTest, TakesSeveralKeysSeparatedBySemicolons) {
  SigningKeyPair successor(dir_.path(), "successor");
  SigningKeyPair stranger(dir_.path(), "stranger");
  // Key lines as the build setting holds them, or .pub files, or both.
  const std::string keys = publisher_.key_line() + ";" + successor.public_key_file();
  for (const SigningKeyPair* signer : {&publisher_, &successor}) {
    signer->Sign(Archive(), "version:1.0.23");
    ProgramRun run = Verify({keys, Archive(), Signature()});
    EXPECT_EQ(run.exit_status, 0) << run.output << run.errors;
    EXPECT_EQ(run.output, "verified\ntrusted comment: version:1.0.23\n");
  }
  stranger.Sign(Archive(), "version:1.0.23");
  ProgramRun refused = Verify({keys, Archive(), Signature()});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_EQ(refused.output, "error the signature was made with another key (key id " +
                                stranger.key_id_text() + ", expected " + publisher_.key_id_text() +
                                " or " + successor.key_id_text() + ")\n");
  ProgramRun broken = Verify({keys + ";RWQ", Archive(), Signature()});
  EXPECT_EQ(broken.exit_status, 1);
  EXPECT_EQ(broken.output,
            "error key 3 of 3: the public key is neither a key nor a readable key file\n");
}

TEST_F(RariduzeVerifyToolTest, AnOldArchiveDoesNotPassForANewerVersion) {
  publisher_.Sign(Archive(), "version:1.0.22");
  ProgramRun run =
      Verify({publisher_.public_key_file(), Archive(), Signature(), "--version", "1.0.23"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.output, "error the trusted comment does not name version 1.0.23\n");
  // Without the version asked for, the same files are the publisher's.
  EXPECT_EQ(Verify({publisher_.public_key_file(), Archive(), Signature()}).output,
            "verified\ntrusted comment: version:1.0.22\n");
}

TEST_F(RariduzeVerifyToolTest, RefusalsPrintTheReason) {
  SigningKeyPair stranger(dir_.path(), "stranger");
  std::string other = dir_.File("other.zip");
  WriteFile(other, "other");
  std::string garbage = dir_.File("garbage.minisig");
  WriteFile(garbage, Pattern(300, 1));
  std::string big_key = dir_.File("big.pub");
  WriteFile(big_key, std::string(5000, 'x'));

  struct Case {
    std::vector<std::string> args;
    std::string output;
  };
  for (const Case& refused : std::vector<Case>{
           {{publisher_.public_key_file(), other, Signature()},
            "error the signature does not match the file\n"},
           {{stranger.public_key_file(), Archive(), Signature()},
            "error the signature was made with another key (key id " + publisher_.key_id_text() +
                ", expected " + stranger.key_id_text() + ")\n"},
           {{publisher_.public_key_file(), Archive(), dir_.File("missing.minisig")},
            "error the signature file could not be read\n"},
           {{publisher_.public_key_file(), Archive(), garbage},
            "error the signature file ends early\n"},
           {{publisher_.public_key_file(), dir_.File("missing.zip"), Signature()},
            "error the signed file could not be opened\n"},
           {{dir_.File("missing.pub"), Archive(), Signature()},
            "error the public key is neither a key nor a readable key file\n"},
           {{big_key, Archive(), Signature()}, "error the public key file is too large\n"},
           {{Signature(), Archive(), Signature()},
            "error the public key must be a key line, or a comment line and a key line\n"},
       }) {
    ProgramRun run = Verify(refused.args);
    EXPECT_EQ(run.exit_status, 1) << refused.output;
    EXPECT_EQ(run.output, refused.output);
  }
}

TEST_F(RariduzeVerifyToolTest, AnEndlessSignatureFileIsRefusedWithoutBeingReadWhole) {
  ChildProcess child({VERIFY_TOOL, publisher_.public_key_file(), Archive(), "/dev/zero"},
                     dir_.File("out"), dir_.File("err"));
  std::optional<int> status = child.Wait(std::chrono::seconds(20));
  ASSERT_TRUE(status) << "rariduze-verify still reads /dev/zero";
  EXPECT_EQ(*status, 1);
  EXPECT_EQ(WithUnixLineEnds(ReadFile(dir_.File("out"))),
            "error the signature file is larger than 8192 bytes\n");
}

TEST_F(RariduzeVerifyToolTest, ALargeFileIsCheckedWithoutBeingHeldInMemory) {
  // 96 MiB of zeros without disk use; the prehashed form streams them through the digest.
  std::string large = dir_.File("large.zip");
  WriteFile(large, "");
  std::filesystem::resize_file(large, 96u * 1024 * 1024);
  publisher_.Sign(large, "version:1.0.23");
  ChildProcess child({VERIFY_TOOL, publisher_.public_key_file(), large, large + ".minisig"},
                     dir_.File("out"), dir_.File("err"));
  std::optional<int> status = child.Wait(std::chrono::seconds(60));
  ASSERT_TRUE(status);
  EXPECT_EQ(*status, 0) << ReadFile(dir_.File("err"));
  EXPECT_EQ(WithUnixLineEnds(ReadFile(dir_.File("out"))),
            "verified\ntrusted comment: version:1.0.23\n");
  EXPECT_LT(child.peak_rss_kib(), 32 * 1024);
}

TEST_F(RariduzeVerifyToolTest, BadUsageExitsWithTwo) {
  std::string key = publisher_.public_key_file();
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {},
           {key, Archive()},
           {key, Archive(), Signature(), "extra"},
           {key, Archive(), Signature(), "--version"},
           {key, Archive(), Signature(), "--quiet"},
       }) {
    ProgramRun run = Verify(args);
    EXPECT_EQ(run.exit_status, 2) << args.size();
    EXPECT_EQ(run.output, "");
    EXPECT_TRUE(run.errors.starts_with("usage: rariduze-verify")) << run.errors;
  }
  for (const char* option : {"--help", "-h"}) {
    ProgramRun help = Verify({option});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_TRUE(help.output.starts_with("usage: rariduze-verify")) << help.output;
  }
  // Beside other arguments "-h" is a file's name and "--help" a wrong option: no check is
  // skipped with success.
  ProgramRun file = Verify({key, "-h", Signature()});
  EXPECT_EQ(file.exit_status, 1);
  EXPECT_EQ(file.output, "error the signed file could not be opened\n");
  ProgramRun option = Verify({key, Archive(), Signature(), "--help"});
  EXPECT_EQ(option.exit_status, 2);
  EXPECT_EQ(option.output, "");
}

}  // namespace
}  // namespace rariduze::testing
