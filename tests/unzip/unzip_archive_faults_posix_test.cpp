// An archive whose link and file share a name, on a system where the library makes links.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/unzip/unzip_archive_faults_fixture.h"
#include "tests/unzip/zip_bytes.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;

TEST_P(UnzipArchiveFaultsTest, AFileAfterALinkOfTheSameNameReplacesTheLinkNotItsTarget) {
  MakeFiles(src_, {{"real.txt", "real"}, {"y", "from the file entry"}});
  std::string bytes = Zip(src_, "ln -s real.txt x && zip -q -y \"$1\" real.txt x y");
  RenameEntry(bytes, LayoutOf(bytes), 2, "x");

  EXPECT_FALSE(Extract(bytes, out_));
  EXPECT_TRUE(fs::is_symlink(out_ + "/x"));
  EXPECT_TRUE(events_.Told("skipped x: it already exists"));

  unzip_.SetOverwriteExisting(true);
  std::string replaced = dir_.File("replaced");
  EXPECT_TRUE(Extract(bytes, replaced));
  EXPECT_FALSE(fs::is_symlink(replaced + "/x"));
  EXPECT_EQ(ReadFile(replaced + "/x"), "from the file entry");
  EXPECT_EQ(ReadFile(replaced + "/real.txt"), "real");
}

}  // namespace
}  // namespace rariduze::testing
