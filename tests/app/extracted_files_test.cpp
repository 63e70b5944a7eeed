// What the unload takes away after an extraction: exactly the files the archive's entries
// became, then the folders the extraction made if they are empty; never anything else.
#include "app/extracted_files.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

using ::testing::ElementsAre;
using testing::FileIsThere;
using ::testing::IsEmpty;
using testing::PathSeparator;
using testing::ReadFile;
using testing::TestDir;
using testing::WriteFile;

class ExtractedFilesTest : public ::testing::Test {
 protected:
  TestDir dir_{"extracted"};
  std::string folder_ = dir_.path() + PathSeparator();
  FileSystem& files_ = FileSystem::Default();
  ExtractedFiles extracted_;

  std::string At(const std::string& relative) const {
    std::string path = folder_;
    for (char c : relative) path += c == '/' ? PathSeparator() : c;
    return path;
  }
  // Plays the extraction: the file appears, with the folders on its way.
  void Extract(const std::string& relative) {
    std::filesystem::create_directories(std::filesystem::path(At(relative)).parent_path());
    WriteFile(At(relative), "extracted");
  }
};

TEST_F(ExtractedFilesTest, WithoutFolderNamesEveryEntryLandsAtTheTopAndGoesAgain) {
  WriteFile(At("unrelated"), "kept");
  extracted_.Expect(files_, folder_, "", "setupZT.exe", false, false);
  extracted_.Expect(files_, folder_, "docs\\manual", "read me.txt", false, false);
  EXPECT_THAT(extracted_.files(), ElementsAre(At("setupZT.exe"), At("read me.txt")));
  Extract("setupZT.exe");
  Extract("read me.txt");

  extracted_.RemoveAll(files_);

  EXPECT_FALSE(FileIsThere(At("setupZT.exe")));
  EXPECT_FALSE(FileIsThere(At("read me.txt")));
  EXPECT_EQ(ReadFile(At("unrelated")), "kept");
  EXPECT_THAT(extracted_.files(), IsEmpty());
}

TEST_F(ExtractedFilesTest, FoldersTheExtractionMadeGoWhenEmptyAndOthersStay) {
  std::filesystem::create_directories(At("docs"));
  WriteFile(At("docs/notes"), "the user's");
  extracted_.Expect(files_, folder_, "docs\\manual", "a.txt", true, false);
  extracted_.Expect(files_, folder_, "data\\x", "y.bin", true, false);
  extracted_.Expect(files_, folder_, "data", "z.bin", true, false);
  Extract("docs/manual/a.txt");
  Extract("data/x/y.bin");
  Extract("data/z.bin");
  WriteFile(At("data/written by the installer"), "kept");

  extracted_.RemoveAll(files_);

  EXPECT_FALSE(std::filesystem::exists(At("docs/manual")));
  EXPECT_EQ(ReadFile(At("docs/notes")), "the user's");
  EXPECT_FALSE(std::filesystem::exists(At("data/x")));
  EXPECT_FALSE(FileIsThere(At("data/z.bin")));
  EXPECT_EQ(ReadFile(At("data/written by the installer")), "kept");
}

TEST_F(ExtractedFilesTest, BlanksBecomeUnderscoresWhenTheExtractionMakesThem) {
  extracted_.Expect(files_, folder_, "my docs", "read me.txt", true, true);
  EXPECT_THAT(extracted_.files(), ElementsAre(At("my_docs/read_me.txt")));
}

TEST_F(ExtractedFilesTest, NamesThatCouldLeadOutOfTheFolderAreNeverNoted) {
  std::filesystem::create_directories(dir_.File("inside"));
  const std::string inside = dir_.File("inside") + PathSeparator();
  WriteFile(dir_.File("outside.txt"), "kept");
  for (const char* name : {"..", ".", "", "../outside.txt", "..\\outside.txt", "a/b", "C:x"}) {
    extracted_.Expect(files_, inside, "", name, true, false);
  }
  for (const char* folder : {"..", "a\\..", "\\", "a\\\\b", "C:"}) {
    extracted_.Expect(files_, inside, folder, "outside.txt", true, false);
  }
  EXPECT_THAT(extracted_.files(), IsEmpty());
  extracted_.RemoveAll(files_);
  EXPECT_EQ(ReadFile(dir_.File("outside.txt")), "kept");
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("inside")));
}

}  // namespace
}  // namespace rariduze
