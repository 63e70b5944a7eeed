#include "app/paths.h"

#include <sys/stat.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

TEST(SplitUrl, StripsTheLowerCaseSchemeAndSplitsAtTheFirstSlash) {
  std::string url = "http://example.test/dir/file.dat";
  std::string path = "unchanged";
  ModuloUp::SplitUrl(url, path);
  EXPECT_EQ(url, "example.test");
  EXPECT_EQ(path, "/dir/file.dat");

  url = "https://secure.test/a.zip";
  ModuloUp::SplitUrl(url, path);
  EXPECT_EQ(url, "secure.test");
  EXPECT_EQ(path, "/a.zip");

  url = "example.test/dir/a.zip";
  ModuloUp::SplitUrl(url, path);
  EXPECT_EQ(url, "example.test");
  EXPECT_EQ(path, "/dir/a.zip");

  url = "HTTP://example.test/x";  // other case: not stripped
  ModuloUp::SplitUrl(url, path);
  EXPECT_EQ(url, "HTTP:");
  EXPECT_EQ(path, "//example.test/x");

  url = "http://bare-host";
  path = "kept";
  ModuloUp::SplitUrl(url, path);
  EXPECT_EQ(url, "bare-host");
  EXPECT_EQ(path, "kept");
}

TEST(TrimAtNul, CutsAtTheFirstNul) {
  EXPECT_EQ(ModuloUp::TrimAtNul(std::string("200\0\0\0", 6)), "200");
  EXPECT_EQ(ModuloUp::TrimAtNul(std::string("\0abc", 4)), "");
  EXPECT_EQ(ModuloUp::TrimAtNul("no nul"), "no nul");
}

TEST(AppDir, EndsInASlash) {
  std::string dir = ModuloUp::AppDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_NE(dir.find("tests/app"), std::string::npos) << dir;
}

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    if (old != nullptr) saved_ = old;
    ::setenv("TMPDIR", base_.path().c_str(), 1);
  }
  void TearDown() override {
    if (saved_)
      ::setenv("TMPDIR", saved_->c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }
  testing::TestDir base_{"tmpdir"};
  std::optional<std::string> saved_;
};

TEST_F(TempDirTest, IsAPrivateFolderEndingInASlash) {
  std::string error;
  auto dir = TempDir(&error);
  ASSERT_TRUE(dir.has_value()) << error;
  EXPECT_EQ(dir->back(), '/');
  EXPECT_EQ(dir->rfind(base_.path() + "/rariduze-", 0), 0u) << *dir;
  struct stat st {};
  ASSERT_EQ(::stat(dir->c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);
}

TEST_F(TempDirTest, RefusesAPlantedFolderInsteadOfUsingIt) {
  std::string error;
  auto first = TempDir(&error);
  ASSERT_TRUE(first.has_value()) << error;
  ASSERT_EQ(::chmod(first->c_str(), 0777), 0);
  EXPECT_FALSE(TempDir(&error).has_value());
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace rariduze
