// Where the Windows build finds itself and keeps its temporary files.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/system_paths.h"
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
