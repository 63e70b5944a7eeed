#include "app/paths.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/system_paths.h"
#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

TEST(SplitUrl, StripsTheSchemeInAnyCaseAndSplitsAtTheFirstSlash) {
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

  url = "HTTP://example.test/x";
  ModuloUp::SplitUrl(url, path);
  EXPECT_EQ(url, "example.test");
  EXPECT_EQ(path, "/x");

  url = "HttpS://secure.test/y";
  ModuloUp::SplitUrl(url, path);
  EXPECT_EQ(url, "secure.test");
  EXPECT_EQ(path, "/y");

  url = "ftp://example.test/z";  // another scheme is not stripped
  ModuloUp::SplitUrl(url, path);
  EXPECT_EQ(url, "ftp:");
  EXPECT_EQ(path, "//example.test/z");

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

TEST(AppDir, IsTheExecutablesFolderEndingInTheSeparator) {
  std::string dir = ModuloUp::AppDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), PathSeparator());
  const std::string sep(1, PathSeparator());
  EXPECT_NE(dir.find("tests" + sep + "app" + sep), std::string::npos) << dir;
}

}  // namespace
}  // namespace rariduze
