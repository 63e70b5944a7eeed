// Where the Windows build finds itself and keeps its temporary files.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/system_paths.h"
#include "platform/wide_text_windows.h"
#include "tests/support/host.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

TEST(WindowsPaths, TheExecutableKnowsItsFolderAndName) {
  EXPECT_EQ(rariduze::PathSeparator(), '\\');
  EXPECT_EQ(ExecutableName(), "platform_windows_test.exe");
  const std::string dir = ExecutableDirectory();
  EXPECT_TRUE(std::filesystem::exists(dir + "\\" + ExecutableName())) << dir;
  EXPECT_NE(dir.back(), '\\');
}

// The form in which Windows changes no name: "." and ".." steps go as Windows reads them,
// nothing else does, and what is not absolute stays as it is.
TEST(WindowsPaths, ExactPathsAskForTheNameAsItIs) {
  struct Case {
    const char* path;
    const wchar_t* exact;
  };
  for (const Case& c : {
           Case{"C:\\Temp\\victim.", L"\\\\?\\C:\\Temp\\victim."},
           Case{"C:/Temp/run/name ", L"\\\\?\\C:\\Temp\\run\\name "},
           Case{"C:\\Temp\\.\\a\\\\..\\b.", L"\\\\?\\C:\\Temp\\b."},
           Case{"C:\\..\\..\\x", L"\\\\?\\C:\\x"},
           Case{"C:\\", L"\\\\?\\C:\\"},
           Case{"\\\\server\\share\\..\\..\\x.", L"\\\\?\\UNC\\server\\share\\x."},
           Case{"\\\\?\\C:\\a\\..\\b", L"\\\\?\\C:\\a\\..\\b"},
           Case{"relative\\x.", L"relative\\x."},
           Case{"\\rooted\\x.", L"\\rooted\\x."},
           Case{"C:drive-relative.", L"C:drive-relative."},
       }) {
    EXPECT_EQ(ExactPath(c.path), c.exact) << c.path;
  }
}

TEST(WindowsPaths, TheTemporaryFolderIsTheUsersOwnEndingInASeparator) {
  TestDir dir("temp");
  const std::string temp = dir.File("user temp ü");
  ScopedEnv tmp("TMP", temp);
  ScopedEnv temp_env("TEMP", temp);

  std::string error;
  std::optional<std::string> folder = PrivateTempDirectory(&error);

  ASSERT_TRUE(folder.has_value()) << error;
  EXPECT_EQ(*folder, temp + "\\");
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::u8path(temp)))
      << "a missing temporary folder is made";
}

TEST(WindowsPaths, AFileWhereTheTemporaryFolderShouldBeIsRefused) {
  TestDir dir("temp");
  const std::string temp = dir.File("plain");
  WriteFile(temp, "not a folder");
  ScopedEnv tmp("TMP", temp);
  ScopedEnv temp_env("TEMP", temp);

  std::string error;
  EXPECT_FALSE(PrivateTempDirectory(&error).has_value());
  EXPECT_NE(error.find("not a directory"), std::string::npos) << error;
}

}  // namespace
}  // namespace rariduze::testing
