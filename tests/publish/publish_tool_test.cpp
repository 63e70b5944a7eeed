// rariduze-publish run as the publisher runs it: what it publishes, served by nginx, is
// installed by the update driver of a build with the publisher's key; a refusal, a failed
// signing or a republication leaves the server's folder whole.
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/update_driver.h"
#include "platform/file_system.h"
#include "tests/app/updater_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/signing_keys.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;

ProgramRun Publish(std::vector<std::string> args) {
  args.insert(args.begin(), PUBLISH_TOOL);
  return RunProgram(args, std::chrono::seconds(60));
}

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

TEST(PublishTool, WhatItPublishesTheUpdaterInstalls) {
  UpdaterFixture fixture;
  ScriptedUi ui;
  RecordingView view{ui};
  TestDir work("publish-tool");
  SigningKeyPair publisher(work.path(), "publisher");

  // An installer that needs a file beside it, as real ones do; the publisher's copy of it is
  // not executable.
  const std::string installer = work.File("installer");
  fs::create_directory(installer);
  WriteFile(installer + "/setupZT.exe",
            "#!/bin/sh\n"
            "cp \"$(dirname \"$0\")/Zentri data.txt\" '" +
                fixture.AppDir() +
                "' &&\n"
                "printf '1.0.23\\r\\n' > '" +
                fixture.AppDir() + "versionZT.dat'\n");
  ::chmod((installer + "/setupZT.exe").c_str(), 0644);
  WriteFile(installer + "/Zentri data.txt", "the data of 1.0.23");

  const std::string www = fs::path(fixture.PublishedPath("versionZT.dat")).parent_path();
  ProgramRun run = Publish({"--version", "1.0.23", "--installer", installer, "--out", www, "--key",
                            publisher.secret_key_file()});
  ASSERT_EQ(run.exit_status, 0) << run.output << run.errors;
  EXPECT_THAT(run.output, HasSubstr("published version 1.0.23"));

  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  UpdaterSetup setup = fixture.Setup();
  setup.publisher_keys = {publisher.key_line()};
  UpdateDriver driver(view, ui, fixture.internet(), FileSystem::Default(), fixture.system(),
                      std::move(setup));
  driver.Form_Load();
  fixture.ExpectProcessEnds([&] { driver.cmdVerifica_Click(); });
  EXPECT_THAT(ui.boxes,
              ElementsAre(Field(&ShownBox::text, kUpdateAvailable),
                          Field(&ShownBox::text,
                                "Update successfully completed! It will be started Zentri PC")));
  EXPECT_EQ(ReadFile(fixture.AppDir() + "versionZT.dat"), "1.0.23\r\n");
  EXPECT_EQ(ReadFile(fixture.AppDir() + "Zentri data.txt"), "the data of 1.0.23");
}

TEST(PublishTool, TheServersFolderStaysWholeWhateverGoesWrong) {
  TestDir work("publish-tool");
  const std::string out = work.File("www");
  const std::string installer = work.File("installer");
  fs::create_directory(installer);
  WriteFile(installer + "/setupZT.exe", "#!/bin/sh\n");
  // The signing tool's password prompt is left out: a key with a password costs a gigabyte
  // and seconds of work to open, by design.
  SigningKeyPair publisher(work.path(), "publisher");
  const std::vector<std::string> signed_release = {
      "--installer", installer, "--out", out, "--key", publisher.secret_key_file()};
  auto with_version = [](std::vector<std::string> args, const std::string& version) {
    args.insert(args.begin(), {"--version", version});
    return args;
  };
  ProgramRun first = Publish(with_version(signed_release, "1.0.23"));
  ASSERT_EQ(first.exit_status, 0) << first.errors;
  const std::vector<std::string> published = {"versionZT.dat", "setupZT.zip",
                                              "versionZT.dat.minisig", "setupZT.zip.minisig"};
  std::vector<std::string> bytes;
  for (const std::string& name : published) bytes.push_back(ReadFile(out + "/" + name));
  auto folder_as_first_published = [&] {
    EXPECT_THAT(NamesIn(out), ::testing::UnorderedElementsAreArray(published));
    for (std::size_t i = 0; i < published.size(); ++i) {
      EXPECT_EQ(ReadFile(out + "/" + published[i]), bytes[i]) << published[i];
    }
  };

  // A refusal: the installer named in the wrong case. Nothing is written.
  fs::rename(installer + "/setupZT.exe", installer + "/setupzt.exe");
  ProgramRun refused = Publish(with_version(signed_release, "1.0.24"));
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_THAT(refused.errors, HasSubstr("named \"setupzt.exe\""));
  EXPECT_THAT(refused.errors, HasSubstr("nothing was published"));
  folder_as_first_published();
  fs::rename(installer + "/setupzt.exe", installer + "/setupZT.exe");

  // The signing tool refuses the key: what was made is thrown away.
  WriteFile(work.File("broken.key"), "untrusted comment: not a key\nRWQAAA==\n");
  fs::copy_file(publisher.public_key_file(), work.File("broken.pub"));
  ProgramRun broken = Publish({"--version", "1.0.24", "--installer", installer, "--out", out,
                               "--key", work.File("broken.key")});
  EXPECT_EQ(broken.exit_status, 1);
  EXPECT_THAT(broken.errors, HasSubstr("could not sign"));
  folder_as_first_published();

  // Published again without a key: the earlier signatures would not hold, so they go.
  ProgramRun unsigned_release =
      Publish({"--version", "1.0.24", "--installer", installer, "--out", out});
  EXPECT_EQ(unsigned_release.exit_status, 0) << unsigned_release.errors;
  EXPECT_THAT(NamesIn(out), UnorderedElementsAre("versionZT.dat", "setupZT.zip"));
  EXPECT_EQ(ReadFile(out + "/versionZT.dat"), "1.0.24\r\n");

  EXPECT_EQ(Publish({"--version", "1.0.25", "--out", out}).exit_status, 2);
}

}  // namespace
}  // namespace rariduze::testing
