// An archive whose link and file share a name, on Windows, where the library makes no links:
// the link is refused and the file entry takes the name.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/unzip/unzip_archive_faults_fixture.h"
#include "tests/unzip/zip_bytes.h"

namespace rariduze::testing {
namespace {

using ::testing::ElementsAre;

TEST_P(UnzipArchiveFaultsTest, ALinkIsRefusedAndAFileOfTheSameNameTakesItsPlace) {
  MakeFiles(src_, {{"real.txt", "real"}, {"y", "from the file entry"}});
  // The shell removes the link it made: under Wine the file system library cannot remove a
  // folder in which a link outlives its target.
  std::string bytes =
      Zip(src_, "trap 'rm -f x' EXIT; ln -s real.txt x && zip -q -y \"$1\" real.txt x y");
  RenameEntry(bytes, LayoutOf(bytes), 2, "x");

  EXPECT_FALSE(Extract(bytes, out_));
  EXPECT_TRUE(events_.Told("refused x: symbolic links are not made on this system"))
      << ::testing::PrintToString(events_.progress);
  EXPECT_THAT(TreeBelow(out_), ElementsAre("real.txt", "x"));
  EXPECT_FALSE(std::filesystem::is_symlink(Utf8Path(out_ + "/x")));
  EXPECT_EQ(ReadFile(out_ + "/x"), "from the file entry");
  EXPECT_EQ(ReadFile(out_ + "/real.txt"), "real");
}

}  // namespace
}  // namespace rariduze::testing
