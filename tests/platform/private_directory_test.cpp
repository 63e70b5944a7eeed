#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/private_directory_posix.h"
#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

TEST(PreparePrivateDirectory, CreatesAnOwnerOnlyFolderAndReusesIt) {
  testing::TestDir dir;
  std::string error;
  auto made = PreparePrivateDirectory(dir.path(), "mine", &error);
  ASSERT_TRUE(made.has_value()) << error;
  struct stat st {};
  ASSERT_EQ(::stat(made->c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(PreparePrivateDirectory(dir.path(), "mine", &error), made);
}

TEST(PreparePrivateDirectory, RefusesFoldersOthersCouldPlantFilesIn) {
  testing::TestDir dir;
  std::string error;
  ASSERT_EQ(::mkdir(dir.File("open").c_str(), 0777), 0);
  ASSERT_EQ(::chmod(dir.File("open").c_str(), 0777), 0);
  EXPECT_FALSE(PreparePrivateDirectory(dir.path(), "open", &error).has_value());
  EXPECT_NE(error.find("other users"), std::string::npos) << error;

  ASSERT_EQ(::mkdir(dir.File("target").c_str(), 0700), 0);
  ASSERT_EQ(::symlink(dir.File("target").c_str(), dir.File("link").c_str()), 0);
  EXPECT_FALSE(PreparePrivateDirectory(dir.path(), "link", &error).has_value());
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;

  testing::WriteFile(dir.File("plain"), "x");
  EXPECT_FALSE(PreparePrivateDirectory(dir.path(), "plain", &error).has_value());
  EXPECT_FALSE(PreparePrivateDirectory(dir.File("missing/deeper"), "x", &error).has_value());
}

TEST(PreparePrivateDirectory, RefusesAFolderOfAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand a folder to another user";
  testing::TestDir dir;
  std::string error;
  ASSERT_EQ(::mkdir(dir.File("theirs").c_str(), 0700), 0);
  ASSERT_EQ(::chown(dir.File("theirs").c_str(), 65534, 65534), 0);
  EXPECT_FALSE(PreparePrivateDirectory(dir.path(), "theirs", &error).has_value());
  EXPECT_NE(error.find("another user"), std::string::npos) << error;
}

}  // namespace
}  // namespace rariduze
