// The publisher's tool writes the setup archive with libzip and signs with the real signing
// tool; its own check must pass what the updater installs and find what the updater would
// refuse. Run with the unzip library on each backend: the Linux updater reads archives with
// libzip, the Windows one with the library's own zip reader.
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "signing/signature_format.h"
#include "tests/support/child_process.h"
#include "tests/support/signing_keys.h"
#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"
#include "tools/publish/input_rules.h"
#include "tools/publish/output_check.h"
#include "tools/publish/setup_archive_writer.h"
#include "tools/publish/signing_tool.h"
#include "unzip/unzip_binding.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class PublishCheckTest : public ::testing::TestWithParam<const char*> {
 public:
  PublishCheckTest() {
    mUnzip::SetLibraryDirectory(GetParam());
    fs::create_directories(installer_);
    fs::create_directories(published_);
    // The publisher's installer need not be executable where it was made.
    WriteFile(Installer("setupZT.exe"), "#!/bin/sh\nexit 0\n");
    ::chmod(Installer("setupZT.exe").c_str(), 0644);
    WriteFile(Installer("L\xC3\xAF"
                        "esmich.txt"),
              Text(20000, 3));
    WriteFile(Installer("payload.bin"), Pattern(300000, 4));
    files_ = publish::CollectInstaller(installer_).files;
    Publish();
  }

  // The installer's files as they were, published afresh as the tool does it.
  void Publish() {
    WriteFile(Installer("payload.bin"), Pattern(300000, 4));
    WriteFile(Published("versionZT.dat"), "1.0.23\r\n");
    fs::remove(Published("setupZT.zip"));
    EXPECT_EQ(publish::WriteSetupArchive(files_, Published("setupZT.zip")), std::nullopt);
    EXPECT_EQ(publish::SignWithTool(publisher.secret_key_file(), "version:1.0.23",
                                    {Published("versionZT.dat"), Published("setupZT.zip")}),
              std::nullopt);
  }
  ~PublishCheckTest() override { mUnzip::SetLibraryDirectory(""); }

  std::vector<std::string> Check() {
    return publish::CheckPublication(published_, "1.0.23", files_,
                                     ParsePublicKey(publisher.key_line()).key,
                                     fs::path(dir_.path()) / ("scratch" + std::to_string(++runs_)));
  }
  std::string Installer(const std::string& name) const { return (installer_ / name).string(); }
  std::string Published(const std::string& name) const { return (published_ / name).string(); }
  // Replaces the setup archive with one the zip tool makes in the installer folder (or, with
  // above set, in the folder that holds it).
  void ZipWithTool(const std::string& arguments, bool above = false) {
    fs::remove(Published("setupZT.zip"));
    const fs::path folder = above ? installer_.parent_path() : installer_;
    ProgramRun run = RunProgram(
        {"sh", "-c",
         "cd '" + folder.string() + "' && zip -q '" + Published("setupZT.zip") + "' " + arguments});
    ASSERT_EQ(run.exit_status, 0) << run.errors;
  }

  TestDir dir_{"publish-check"};
  SigningKeyPair publisher{dir_.path(), "publisher"};
  SigningKeyPair stranger{dir_.path(), "stranger"};

 private:
  fs::path installer_ = fs::path(dir_.path()) / "installer";
  fs::path published_ = fs::path(dir_.path()) / "published";
  std::vector<publish::InstallerFile> files_;
  int runs_ = 0;
};

TEST_P(PublishCheckTest, WhatItWritesAndSignsHolds) { EXPECT_THAT(Check(), IsEmpty()); }

struct Fault {
  const char* label;
  std::function<void(PublishCheckTest&)> make;
  const char* problem;  // a part of one of the problems found
};

TEST_P(PublishCheckTest, WhatTheUpdaterWouldRefuseIsFound) {
  const Fault faults[] = {
      {"the version file names another version",
       [](PublishCheckTest& t) { WriteFile(t.Published("versionZT.dat"), "1.0.24\r\n"); },
       "the updater reads the version file as \"1.0.24\", not 1.0.23"},
      {"the archive is signed for an older version",
       [](PublishCheckTest& t) { t.publisher.Sign(t.Published("setupZT.zip"), "version:1.0.22"); },
       "\"version:1.0.22\", does not name version 1.0.23"},
      {"both are signed with another key",
       [](PublishCheckTest& t) {
         t.stranger.Sign(t.Published("versionZT.dat"), "version:1.0.23");
         t.stranger.Sign(t.Published("setupZT.zip"), "version:1.0.23");
       },
       "the signature of \"versionZT.dat\" does not hold with the public key"},
      {"the archive's signature is missing",
       [](PublishCheckTest& t) { fs::remove(t.Published("setupZT.zip.minisig")); },
       "there is no readable signature of \"setupZT.zip\""},
      {"a file the installer needs is missing",
       [](PublishCheckTest& t) { t.ZipWithTool("setupZT.exe payload.bin"); },
       "lists other files in the archive than were put there: \"payload.bin\", \"setupZT.exe\""},
      {"the files lie a folder level deeper",
       [](PublishCheckTest& t) { t.ZipWithTool("-r installer", true); },
       "lists other files in the archive than were put there"},
      {"a file comes out other than it went in",
       [](PublishCheckTest& t) {
         t.ZipWithTool("setupZT.exe L*.txt payload.bin");
         WriteFile(t.Installer("payload.bin"), Pattern(300000, 5));
       },
       "\"payload.bin\" comes out of the archive other than it went in"},
      {"the installer comes out not executable",
       [](PublishCheckTest& t) { t.ZipWithTool("setupZT.exe L*.txt payload.bin"); },
       "\"setupZT.exe\" comes out of the archive not executable"},
      {"the archive is missing",
       [](PublishCheckTest& t) { fs::remove(t.Published("setupZT.zip")); },
       "lists other files in the archive than were put there: none"},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.label);
    fault.make(*this);
    EXPECT_THAT(Check(), Contains(HasSubstr(fault.problem)));
    Publish();
    ASSERT_THAT(Check(), IsEmpty());
  }
}

INSTANTIATE_TEST_SUITE_P(UnzipBackends, PublishCheckTest,
                         ::testing::Values(LIBZIP_LIBRARY_DIR, ZLIB_LIBRARY_DIR),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return info.index == 0 ? "libzip" : "zlib";
                         });

}  // namespace
}  // namespace rariduze::testing
