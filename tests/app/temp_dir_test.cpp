// Where the updater keeps its temporary files: a fresh folder of each run's own inside the
// user's private one, gone with the run's unload, so that two updaters at once never take each
// other's downloads for their own.
#include "app/paths.h"

#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/system_paths.h"
#include "tests/support/host.h"
#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

using testing::FileIsThere;
using testing::ReadFile;
using testing::WriteFile;

class TempDirTest : public ::testing::Test {
 protected:
  testing::TestDir base_{"tmpdir"};
  // The user's temporary folder, by the name each system looks at.
  testing::ScopedEnv tmpdir_{"TMPDIR", base_.path()};
  testing::ScopedEnv tmp_{"TMP", base_.path()};
  testing::ScopedEnv temp_{"TEMP", base_.path()};
};

TEST_F(TempDirTest, TwoRunsAtOnceHaveFoldersOfTheirOwnThatGoWithTheirUnload) {
  std::unique_ptr<SystemServices> first = SystemServices::ForAnotherRun();
  std::unique_ptr<SystemServices> second = SystemServices::ForAnotherRun();
  std::string error;
  const std::optional<std::string> private_base = PrivateTempDirectory(&error);
  ASSERT_TRUE(private_base.has_value()) << error;
  const std::optional<std::string> mine = TempDir(*first, &error);
  ASSERT_TRUE(mine.has_value()) << error;
  const std::optional<std::string> theirs = TempDir(*second, &error);
  ASSERT_TRUE(theirs.has_value()) << error;

  EXPECT_NE(*mine, *theirs);
  EXPECT_EQ(TempDir(*first, &error), mine) << "a run keeps its folder";
  for (const std::string& dir : {*mine, *theirs}) {
    EXPECT_EQ(dir.rfind(*private_base, 0), 0u) << dir << " is not in " << *private_base;
    EXPECT_EQ(dir.back(), PathSeparator());
  }
  // What the second run downloads does not change what the first has.
  WriteFile(*mine + "setupZT.zip", "verified by the first run");
  WriteFile(*theirs + "setupZT.zip", "downloaded by the second run");
  EXPECT_EQ(ReadFile(*mine + "setupZT.zip"), "verified by the first run");

  first->RemoveRunTempDirectory();
  EXPECT_FALSE(FileIsThere(*mine + "setupZT.zip"));
  EXPECT_EQ(ReadFile(*theirs + "setupZT.zip"), "downloaded by the second run");
  second->RemoveRunTempDirectory();
  EXPECT_FALSE(FileIsThere(*theirs + "setupZT.zip"));
}

}  // namespace
}  // namespace rariduze
