// Where the updater keeps its temporary files on Linux: a private folder of the user's own.
#include <sys/stat.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "app/paths.h"
#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

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
