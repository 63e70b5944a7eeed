// The unzip library on a POSIX system: Unix permissions and the user's umask, and symbolic
// links, made from archives or found in the target folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "tests/unzip/unzip_library_fixture.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

mode_t PermissionsOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

mode_t CurrentUmask() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

TEST_F(UnzipLibraryTest, UnixPermissionsAreRestoredAndOtherArchivesGiveOrdinaryFiles) {
  MakeFiles(src_, {{"setupZT.exe", "#!/bin/sh\nexit 0\n"}, {"private.dat", "p"}});
  fs::permissions(src_ + "/setupZT.exe", static_cast<fs::perms>(0755));
  fs::permissions(src_ + "/private.dat", static_cast<fs::perms>(0640));
  std::string archive = Zip({});
  EXPECT_TRUE(Extract(archive, out_));
  EXPECT_EQ(PermissionsOf(out_ + "/setupZT.exe"), 0755u);
  EXPECT_EQ(PermissionsOf(out_ + "/private.dat"), 0640u);

  std::string crafted = dir_.File("dos.zip");
  CraftArchive(crafted, {{"plain.exe", "MZ", std::nullopt},
                         {"setuid.sh", "x", std::uint32_t{S_IFREG | 04755}}});
  EXPECT_TRUE(Extract(crafted, out_));
  EXPECT_EQ(PermissionsOf(out_ + "/plain.exe"), 0666u & ~CurrentUmask());
  EXPECT_EQ(PermissionsOf(out_ + "/setuid.sh"), 0755u);  // set-id bits are not honoured
}

TEST_F(UnzipLibraryTest, TheArchivesPermissionsNeverExceedTheUsersUmask) {
  MakeFiles(src_, {{"open.txt", "o"}, {"open.sh", "s"}, {"closed.txt", "c"}});
  fs::permissions(src_ + "/open.txt", static_cast<fs::perms>(0666));
  fs::permissions(src_ + "/open.sh", static_cast<fs::perms>(0777));
  fs::permissions(src_ + "/closed.txt", static_cast<fs::perms>(0600));
  std::string archive = Zip({});
  mode_t before = ::umask(027);
  bool done = Extract(archive, out_);
  ::umask(before);
  EXPECT_TRUE(done);
  EXPECT_EQ(PermissionsOf(out_ + "/open.txt"), 0640u);
  EXPECT_EQ(PermissionsOf(out_ + "/open.sh"), 0750u);
  EXPECT_EQ(PermissionsOf(out_ + "/closed.txt"), 0600u);
}

std::string Backslashed(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

TEST_F(UnzipLibraryTest, NothingIsWrittenOutsideTheTargetFolder) {
  const std::uint32_t link = S_IFLNK | 0777;
  const std::uint32_t file = S_IFREG | 0644;
  std::string archive = dir_.File("hostile.zip");
  CraftArchive(archive, {{"good.txt", "fine", file},
                         {"../outside/escape1.txt", "x", file},
                         {"docs/../../outside/escape2.txt", "x", file},
                         {outside_ + "/escape3.txt", "x", file},
                         {"abs", outside_, link},
                         {"abs/escape4.txt", "inside", file},
                         {"rel", "../outside", link},
                         {"rel/escape5.txt", "inside", file},
                         {"inner", "good.txt", link},
                         {"pre/escape6.txt", "x", file},
                         {"sublink", "docs", link},
                         {"sublink/escape7.txt", "x", file}});
  fs::create_directories(out_);
  fs::create_directory_symlink(outside_, out_ + "/pre");  // a link already in the target
  unzip_.SetUseFolderNames(true);
  unzip_.SetOverwriteExisting(true);
  EXPECT_FALSE(Extract(archive, out_));
  // The refused links were never made, so their files landed in plain folders inside.
  EXPECT_THAT(TreeBelow(out_), ElementsAre("abs", "abs/escape4.txt", "good.txt", "inner", "pre",
                                           "rel", "rel/escape5.txt", "sublink"));
  EXPECT_EQ(fs::read_symlink(out_ + "/inner"), "good.txt");
  EXPECT_EQ(fs::read_symlink(out_ + "/sublink"), "docs");
  for (const std::string& refused :
       {std::string("refused ..\\outside\\escape1.txt"),
        std::string("refused docs\\..\\..\\outside\\escape2.txt"),
        "refused " + Backslashed(outside_) + "\\escape3.txt", std::string("refused abs:"),
        std::string("refused rel:"), std::string("refused pre\\escape6.txt"),
        std::string("refused sublink\\escape7.txt")}) {
    EXPECT_TRUE(events_.Told(refused)) << refused;
  }
}

}  // namespace
}  // namespace rariduze::testing
