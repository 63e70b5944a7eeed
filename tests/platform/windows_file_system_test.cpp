// The Windows file system backend: wide-character names, and what other handles may prevent.
#include <windows.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "platform/file_system.h"
#include "tests/support/folder_access.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

std::wstring Wide(const std::string& text) { return std::filesystem::u8path(text).wstring(); }

int EntriesIn(const std::string& folder) {
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(folder))) {
    (void)entry;
    ++entries;
  }
  return entries;
}

TEST(WindowsFileSystem, NamesOutsideAnyCodePageWorkThroughout) {
  TestDir dir("names");
  const std::string path = dir.File("Zentri P\xC3\xA7 \xE2\x82\xAC \xE4\xB8\xAD.dat");
  FileSystem& files = FileSystem::Default();

  std::unique_ptr<WritableFile> file = files.OpenForWriting(path, true);
  file->Write("1.0.23\r\n", 8);
  file->Close();

  EXPECT_TRUE(files.Exists(path));
  EXPECT_EQ(files.Length(path), 8);
  EXPECT_EQ(files.ReadPrefix(path, 100), "1.0.23\r\n");
  files.ReplaceContents(path, "1.0.24\r\n");
  EXPECT_EQ(files.ReadPrefix(path, 100), "1.0.24\r\n");
  EXPECT_TRUE(files.Remove(path));
  EXPECT_FALSE(files.Exists(path));
  EXPECT_TRUE(files.Remove(path)) << "a file that is gone already counts as removed";
}

// The clean-up deletes what an archive's entries named: "victim." (never written: Windows
// does not hold such names) must not reach the user's "victim", which it would with the dot
// dropped.
TEST(WindowsFileSystem, RemovalReachesOnlyTheExactName) {
  TestDir dir("exact");
  FileSystem& files = FileSystem::Default();
  WriteFile(dir.File("victim"), "the user's");
  std::filesystem::create_directory(std::filesystem::u8path(dir.File("folder")));
  for (const char* name : {"victim.", "victim ", "victim. .", "sub\\..\\victim."}) {
    EXPECT_TRUE(files.Remove(dir.File(name))) << name << ": there is none, so it counts as gone";
  }
  EXPECT_TRUE(files.RemoveEmptyFolder(dir.File("folder.")));
  EXPECT_EQ(ReadFile(dir.File("victim")), "the user's");
  EXPECT_EQ(EntriesIn(dir.path()), 2);

  WriteExactFile(dir.File("victim."), "the archive's");
  EXPECT_TRUE(files.Remove(dir.File("victim.")));
  EXPECT_EQ(ReadFile(dir.File("victim")), "the user's");
  EXPECT_EQ(EntriesIn(dir.path()), 2) << "the file named with the dot is still there";
}

TEST(WindowsFileSystem, AFileBeingDownloadedCannotBeDeleted) {
  TestDir dir("busy");
  const std::string path = dir.File("setupZT.zip");
  FileSystem& files = FileSystem::Default();
  std::unique_ptr<WritableFile> download = files.OpenForWriting(path, true);
  download->Write("PK", 2);

  EXPECT_FALSE(files.Remove(path));
  EXPECT_TRUE(files.Exists(path));

  download->Close();
  EXPECT_TRUE(files.Remove(path));
}

TEST(WindowsFileSystem, AReplacementThatCannotTakePlaceLeavesTheOldFileWhole) {
  TestDir dir("locked");
  const std::string path = dir.File("proxy");
  const std::string old_contents = "10.0.0.1:8080\r\n1\r\n";
  WriteFile(path, old_contents);
  // Another program holds the file and lets nobody replace or delete it meanwhile.
  HANDLE holder = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  bool raised = false;
  try {
    FileSystem::Default().ReplaceContents(path, "192.168.100.200:3128\r\n0\r\n");
  } catch (const RuntimeFailure& failure) {
    raised = true;
    EXPECT_NE(failure.description().find("proxy"), std::string::npos) << failure.description();
  }
  ::CloseHandle(holder);

  EXPECT_TRUE(raised);
  EXPECT_EQ(ReadFile(path), old_contents);
  EXPECT_EQ(EntriesIn(dir.path()), 1) << "a half-written file was left beside the settings";
}

TEST(WindowsFileSystem, MissingFoldersGiveFailure76) {
  TestDir dir("missing");
  try {
    FileSystem::Default().OpenForWriting(dir.File("no\\such\\folder\\file"), true);
    FAIL() << "opened a file in a missing folder";
  } catch (const RuntimeFailure& failure) {
    EXPECT_EQ(failure.number(), kFailurePathNotFound);
  }
}

}  // namespace
}  // namespace rariduze::testing
