// What the unload takes away after an extraction: exactly the files the unzip library reports
// as written, then the folders on their way if they are empty; never anything else.
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

// The library reports each file it wrote; one it refused ("victim." where trailing dots are
// dropped) is never reported, so nothing of that name is ever taken away.
TEST_F(ExtractedFilesTest, WhatTheLibraryReportsAsWrittenGoesAndNothingElse) {
  WriteFile(At("unrelated"), "kept");
  WriteFile(At("victim"), "the user's");
  for (const char* report : {"extracted setupZT.exe", "skipped victim.: refused",
                             "extracted read me.txt", "tested a.txt: OK", "linked link"}) {
    extracted_.NoteReport(folder_, report);
  }
  EXPECT_THAT(extracted_.files(), ElementsAre(At("setupZT.exe"), At("read me.txt"), At("link")));
  Extract("setupZT.exe");
  Extract("read me.txt");

  extracted_.RemoveAll(files_);

  EXPECT_FALSE(FileIsThere(At("setupZT.exe")));
  EXPECT_FALSE(FileIsThere(At("read me.txt")));
  EXPECT_EQ(ReadFile(At("unrelated")), "kept");
  EXPECT_EQ(ReadFile(At("victim")), "the user's");
  EXPECT_THAT(extracted_.files(), IsEmpty());
}

TEST_F(ExtractedFilesTest, FoldersTheExtractionWroteToGoWhenEmptyAndOthersStay) {
  std::filesystem::create_directories(At("docs"));
  WriteFile(At("docs/notes"), "the user's");
  for (const char* report : {"extracted docs\\manual\\a.txt", "extracted data\\x\\y.bin",
                             "folder data\\empty\\", "extracted data\\z.bin"}) {
    extracted_.NoteReport(folder_, report);
  }
  Extract("docs/manual/a.txt");
  Extract("data/x/y.bin");
  Extract("data/z.bin");
  std::filesystem::create_directories(At("data/empty"));
  WriteFile(At("data/written by the installer"), "kept");

  extracted_.RemoveAll(files_);

  EXPECT_FALSE(std::filesystem::exists(At("docs/manual")));
  EXPECT_EQ(ReadFile(At("docs/notes")), "the user's");
  EXPECT_FALSE(std::filesystem::exists(At("data/x")));
  EXPECT_FALSE(std::filesystem::exists(At("data/empty")));
  EXPECT_FALSE(FileIsThere(At("data/z.bin")));
  EXPECT_EQ(ReadFile(At("data/written by the installer")), "kept");
}

TEST_F(ExtractedFilesTest, ReportsThatCouldLeadOutOfTheFolderAreNeverNoted) {
  std::filesystem::create_directories(dir_.File("inside"));
  const std::string inside = dir_.File("inside") + PathSeparator();
  WriteFile(dir_.File("outside.txt"), "kept");
  for (const char* path :
       {"..", ".", "", "..\\outside.txt", "../outside.txt", "a\\..\\..\\outside.txt",
        "\\outside.txt", "a\\\\b", "C:x", "folder\\"}) {
    extracted_.NoteReport(inside, std::string("extracted ") + path);
    extracted_.NoteReport(inside, std::string("folder ") + path + "\\");
  }
  EXPECT_THAT(extracted_.files(), IsEmpty());
  extracted_.RemoveAll(files_);
  EXPECT_EQ(ReadFile(dir_.File("outside.txt")), "kept");
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("inside")));
}

}  // namespace
}  // namespace rariduze
