// Archives that lie about their entries, collide with themselves or aim outside, made by the
// zip tool and then damaged in chosen bytes, extracted through the unzip object with the
// library built on each backend. What the caller sees: the result, the messages, the tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/unzip/unzip_archive_faults_fixture.h"
#include "tests/unzip/zip_bytes.h"

namespace rariduze::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST_P(UnzipArchiveFaultsTest, EntriesLongerOrShorterThanDeclaredLeaveNoFile) {
  MakeFiles(src_, {{"big.txt", Text(100000, 1)}, {"small.txt", "small"}});
  const std::string bytes = Zip(src_, "zip -q \"$1\" big.txt small.txt");
  const ZipLayout layout = LayoutOf(bytes);
  for (std::uint32_t declared : {60000u, 140000u}) {
    SCOPED_TRACE(declared);
    std::string lying = bytes;
    Put32(lying, layout.central[0] + field::kCentralSize, declared);
    Put32(lying, layout.local[0] + field::kLocalSize, declared);
    std::string out = out_ + std::to_string(declared);
    EXPECT_FALSE(Extract(lying, out));
    // Cut off where it said it ends, or found short: either way no big.txt, and no piece of it.
    EXPECT_THAT(TreeBelow(out), ElementsAre("small.txt"));
    EXPECT_TRUE(events_.Told("big.txt")) << ::testing::PrintToString(events_.progress);
  }
}

TEST_P(UnzipArchiveFaultsTest, AStoredEntryWithAWrongCrcIsNotWritten) {
  MakeFiles(src_, {{"data.bin", Text(30000, 2)}, {"small.txt", "small"}});
  std::string bytes = Zip(src_, "zip -q -0 \"$1\" data.bin small.txt");
  const ZipLayout layout = LayoutOf(bytes);
  Put32(bytes, layout.central[0] + field::kCentralCrc, 0x0badf00d);
  Put32(bytes, layout.local[0] + field::kLocalCrc, 0x0badf00d);
  EXPECT_FALSE(Extract(bytes, out_));
  EXPECT_THAT(TreeBelow(out_), ElementsAre("small.txt"));
  EXPECT_TRUE(events_.Told("data.bin"));
}

TEST_P(UnzipArchiveFaultsTest, AnArchiveOfMoreThan4GiBIsRefusedBeforeAnythingIsWritten) {
  MakeFiles(src_, {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}});
  std::string bytes = Zip(src_, "zip -q \"$1\" a.txt b.txt c.txt");
  const ZipLayout layout = LayoutOf(bytes);
  // Two entries that claim 2 GiB + 1 each.
  for (std::size_t i : {0, 1}) {
    Put32(bytes, layout.central[i] + field::kCentralSize, 0x80000001u);
    Put32(bytes, layout.local[i] + field::kLocalSize, 0x80000001u);
  }
  EXPECT_FALSE(Extract(bytes, out_));
  EXPECT_FALSE(FileIsThere(out_));  // not even the folder
  EXPECT_TRUE(events_.Told("more than the 4 GiB")) << ::testing::PrintToString(events_.progress);

  // Listed, the claims are held to the largest size the table can show, not wrapped.
  unzip_.Directory();
  ASSERT_EQ(unzip_.FileCount(), 3);
  EXPECT_EQ(unzip_.FileSize(1), 2147483647);
  // Selecting the one sound entry asks for little enough.
  for (int i = 1; i <= unzip_.FileCount(); ++i) {
    unzip_.SetFileSelected(i, unzip_.Filename(i) == "c.txt");
  }
  EXPECT_TRUE(unzip_.Unzip());
  EXPECT_THAT(TreeBelow(out_), ElementsAre("c.txt"));
}

TEST_P(UnzipArchiveFaultsTest, NamesWithBackslashesAreSeparatedAndCannotLeadOutside) {
  // Names that Windows archives carry; on Linux they are plain names, which the zip tool
  // stores as they are. The shell makes them and removes them again: under Wine they name
  // other paths.
  std::filesystem::create_directories(Utf8Path(src_));
  std::string bytes = Zip(src_,
                          "names='..\\..\\escape1.txt \\escape2.txt C:\\escape3.txt "
                          "c:escape4.txt docs\\inner.txt'; trap 'rm -f -- $names' EXIT; "
                          "for name in $names; do printf x > \"$name\"; done && "
                          "printf inside > 'docs\\inner.txt' && zip -q \"$1\" $names");
  std::string target = dir_.File("deep/down/out");
  EXPECT_FALSE(Extract(bytes, target));
  EXPECT_THAT(TreeBelow(target), ElementsAre("docs", "docs/inner.txt"));
  EXPECT_EQ(ReadFile(target + "/docs/inner.txt"), "inside");
  EXPECT_THAT(TreeBelow(dir_.File("deep")),
              ElementsAre("down", "down/out", "down/out/docs", "down/out/docs/inner.txt"));
  for (const char* name : {"escape1.txt", "escape2.txt", "escape3.txt", "escape4.txt"}) {
    EXPECT_FALSE(FileIsThere(dir_.File(name))) << name;
    EXPECT_FALSE(FileIsThere(PlatformPath(std::string("/") + name))) << name;
  }
  for (const char* refused :
       {"refused ..\\..\\escape1.txt: path leads outside", "refused \\escape2.txt: absolute path",
        "refused C:\\escape3.txt: absolute path (a drive letter)",
        "refused c:escape4.txt: absolute path (a drive letter)"}) {
    EXPECT_TRUE(events_.Told(refused)) << refused << ::testing::PrintToString(events_.progress);
  }
}

TEST_P(UnzipArchiveFaultsTest, ADuplicateNameIsSkippedOrReplacesAsTheOptionsSay) {
  MakeFiles(src_, {{"a.txt", "first"}, {"b.txt", "other"}});
  std::string bytes = Zip(src_, "zip -q \"$1\" a.txt b.txt");
  RenameEntry(bytes, LayoutOf(bytes), 1, "a.txt");
  EXPECT_FALSE(Extract(bytes, out_));
  EXPECT_EQ(ReadFile(out_ + "/a.txt"), "first");
  EXPECT_TRUE(events_.Told("skipped a.txt: it already exists"));

  unzip_.SetOverwriteExisting(true);
  std::string replaced = dir_.File("replaced");
  EXPECT_TRUE(Extract(bytes, replaced));
  EXPECT_THAT(TreeBelow(replaced), ElementsAre("a.txt"));
  EXPECT_EQ(ReadFile(replaced + "/a.txt"), "other");
}

INSTANTIATE_TEST_SUITE_P(Backends, UnzipArchiveFaultsTest, ::testing::ValuesIn(BuiltBackends()),
                         [](const ::testing::TestParamInfo<BackendCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace rariduze::testing
