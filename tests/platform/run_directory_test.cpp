// A folder of each run's own, on every system: fresh, out of other accounts' reach, and taken
// away whole without reaching out of it.
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/run_directory.h"
#include "platform/system_paths.h"
#include "tests/support/folder_access.h"
#include "tests/support/host.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

class RunDirectoryTest : public ::testing::Test {
 protected:
  std::string MakeRun(const std::string& parent) {
    std::string error;
    std::optional<std::string> run = MakeRunDirectory(parent, &error);
    EXPECT_TRUE(run.has_value()) << error;
    return run.value_or(dir_.File("no-run") + PathSeparator());
  }
  bool IsThere(const std::string& path) {
    return std::filesystem::exists(std::filesystem::symlink_status(Utf8Path(path)));
  }

  TestDir dir_{"run-dir"};
  std::string parent_ = dir_.path() + PathSeparator();
};

TEST_F(RunDirectoryTest, EachRunGetsAnEmptyPrivateFolderOfItsOwn) {
  const std::string first = MakeRun(parent_);
  const std::string second = MakeRun(parent_);
  EXPECT_NE(first, second);
  for (const std::string& run : {first, second}) {
    // A folder right inside the parent, ending in the separator, for bare names to follow.
    EXPECT_EQ(run.rfind(parent_, 0), 0u) << run;
    EXPECT_EQ(run.find(PathSeparator(), parent_.size()), run.size() - 1) << run;
    EXPECT_TRUE(std::filesystem::is_empty(Utf8Path(run))) << run;
    EXPECT_EQ(WhyNotPrivate(run), "") << run;
  }
  std::string error;
  EXPECT_FALSE(MakeRunDirectory(dir_.File("missing") + PathSeparator(), &error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

TEST_F(RunDirectoryTest, ATemporaryFolderThatEveryoneMayWriteStillGivesAPrivateOne) {
  const std::string shared = dir_.File("shared temp");
  std::filesystem::create_directory(Utf8Path(shared));
  OpenToEveryone(shared);
  ASSERT_NE(WhyNotPrivate(shared), "") << "the shared folder could not be opened to others";
  ScopedEnv tmp("TMP", shared);
  ScopedEnv temp("TEMP", shared);
  ScopedEnv tmpdir("TMPDIR", shared);

  std::string error;
  std::optional<std::string> parent = PrivateTempDirectory(&error);
  ASSERT_TRUE(parent.has_value()) << error;
  const std::string run = MakeRun(*parent);
  EXPECT_EQ(run.rfind(shared, 0), 0u) << run;
  EXPECT_EQ(WhyNotPrivate(run), "");
  EXPECT_TRUE(RemoveDirectoryTree(run));
}

TEST_F(RunDirectoryTest, RemovalTakesEverythingByItsExactName) {
  using std::filesystem::perms;
  const std::string run = MakeRun(parent_);
  const std::string folder = run + "folder";
  const std::string deeper = folder + PathSeparator() + "deeper" + PathSeparator();
  ASSERT_TRUE(std::filesystem::create_directories(Utf8Path(deeper)));
  WriteFile(run + "setupZT.exe", "MZ");
  WriteFile(deeper + "data.bin", "1");
  // Names that Windows changes unless asked for exactly: a trailing dot, a trailing blank.
  WriteExactFile(run + "name.", "dot");
  WriteExactFile(run + "name ", "blank");
  WriteExactFile(deeper + "inner.", "dot");
  // What an installer may leave: a read-only file in a folder closed to writing.
  std::filesystem::permissions(Utf8Path(deeper + "data.bin"), perms::owner_read);
  std::filesystem::permissions(Utf8Path(folder), perms::owner_read | perms::owner_exec);

  EXPECT_TRUE(RemoveDirectoryTree(run));
  EXPECT_FALSE(IsThere(run));
  EXPECT_TRUE(RemoveDirectoryTree(run)) << "a folder that is gone counts as removed";
}

TEST_F(RunDirectoryTest, RemovalNeverFollowsALinkOutOfTheFolder) {
  const std::string outside = dir_.File("outside");
  std::filesystem::create_directory(Utf8Path(outside));
  WriteFile(outside + PathSeparator() + "keep.txt", "the user's");
  const std::string run = MakeRun(parent_);
  WriteFile(run + "setupZT.exe", "MZ");
  std::string why;
  if (!MakeFolderLink(run + "link", outside, &why)) {
    GTEST_SKIP() << "this system makes no links to folders: " << why;
  }

  const bool removed = RemoveDirectoryTree(run);

  EXPECT_EQ(ReadFile(outside + PathSeparator() + "keep.txt"), "the user's");
  EXPECT_FALSE(IsThere(run + "setupZT.exe"));
  // Under Wine a Linux link cannot be taken away through the Windows calls; it then stays,
  // and the removal says so.
  EXPECT_EQ(removed, !IsThere(run));
}

}  // namespace
}  // namespace rariduze::testing
