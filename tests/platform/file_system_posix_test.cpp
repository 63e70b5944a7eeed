// The Linux file system's replacement of a whole file: when the disk refuses the write, when
// the file is reached through a symbolic link, and when its folder takes no new files.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "platform/file_system.h"
#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

using testing::ReadFile;
using testing::TestDir;
using testing::WriteFile;

// A file size limit makes the write fail half-way, as a full disk would.
TEST(ReplaceContents, AFailedWriteLeavesTheOldFileWhole) {
  TestDir dir;
  const std::string path = dir.File("proxy");
  const std::string old_contents = "10.0.0.1:8080\r\n1\r\n";
  WriteFile(path, old_contents);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit tiny = saved;
  tiny.rlim_cur = 4;
  auto* old_handler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);

  bool raised = false;
  try {
    FileSystem::Default().ReplaceContents(path, "192.168.100.200:3128\r\n0\r\n");
  } catch (const RuntimeFailure&) {
    raised = true;
  }

  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, old_handler);
  EXPECT_TRUE(raised);
  EXPECT_EQ(ReadFile(path), old_contents);
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1) << "a half-written file was left beside the settings";
}

int EntriesIn(const std::string& folder) {
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++entries;
  }
  return entries;
}

TEST(ReplaceContents, WritesThroughASymbolicLinkToTheFileItLeadsTo) {
  TestDir dir;
  std::filesystem::create_directory(dir.File("shared"));
  std::filesystem::create_directory(dir.File("app"));
  WriteFile(dir.File("shared/proxy"), "old:1\r\n1\r\n");
  std::filesystem::create_symlink("../shared/proxy", dir.File("app/proxy"));

  FileSystem::Default().ReplaceContents(dir.File("app/proxy"), "new:2\r\n0\r\n");

  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("app/proxy")));
  EXPECT_EQ(ReadFile(dir.File("shared/proxy")), "new:2\r\n0\r\n");
  EXPECT_EQ(EntriesIn(dir.File("app")), 1);
  EXPECT_EQ(EntriesIn(dir.File("shared")), 1);
}

// Runs what in a child process that cannot write into folder: root can write anywhere, so a
// root test runs it as the unprivileged user "nobody" and leaves the folder as it is; anyone
// else runs it with the folder made read-only. The child's exit status: 0 when what returned
// true, 77 when the child cannot reach the folder at all.
int RunWhereTheFolderTakesNoNewFiles(const std::string& folder, const std::function<bool()>& what) {
  const bool root = ::geteuid() == 0;
  if (!root) ::chmod(folder.c_str(), 0555);
  const pid_t child = ::fork();
  if (child == 0) {
    if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(77);
    if (::access(folder.c_str(), X_OK) != 0) ::_exit(77);
    ::_exit(what() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!root) ::chmod(folder.c_str(), 0755);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ReplaceContents, RewritesAWritableFileInAFolderThatTakesNoNewFiles) {
  TestDir dir;
  const std::string path = dir.File("proxy");
  WriteFile(path, "old:1\r\n1\r\n");
  ::chmod(path.c_str(), 0666);

  const int status = RunWhereTheFolderTakesNoNewFiles(dir.path(), [&] {
    try {
      FileSystem::Default().ReplaceContents(path, "a longer entry:3128\r\n0\r\n");
      FileSystem::Default().ReplaceContents(path, "short:1\r\n1\r\n");
      return true;
    } catch (const RuntimeFailure&) {
      return false;
    }
  });

  if (status == 77) GTEST_SKIP() << "the unprivileged user cannot reach " << dir.path();
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(path), "short:1\r\n1\r\n");
  EXPECT_EQ(EntriesIn(dir.path()), 1);
}

TEST(ReplaceContents, AFailedRewriteInPlaceGivesTheOldContentsBack) {
  TestDir dir;
  const std::string path = dir.File("proxy");
  const std::string old_contents = "10.0.0.1:8080\r\n1\r\n";
  WriteFile(path, old_contents);
  ::chmod(path.c_str(), 0666);

  const int status = RunWhereTheFolderTakesNoNewFiles(dir.path(), [&] {
    // Room for the old contents but not the new ones, as on a nearly full disk.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = old_contents.size();
    ::setrlimit(RLIMIT_FSIZE, &limit);
    try {
      FileSystem::Default().ReplaceContents(path, "192.168.100.200:3128\r\n0\r\n");
    } catch (const RuntimeFailure&) {
      return true;
    }
    return false;
  });

  if (status == 77) GTEST_SKIP() << "the unprivileged user cannot reach " << dir.path();
  EXPECT_EQ(status, 0) << "the failed write was not raised";
  EXPECT_EQ(ReadFile(path), old_contents);
}

TEST(ReplaceContents, AFileThatCannotBeWrittenInAFolderThatTakesNoNewFilesIsRaised) {
  TestDir dir;
  const std::string path = dir.File("proxy");
  WriteFile(path, "old:1\r\n1\r\n");
  ::chmod(path.c_str(), 0444);

  const int status = RunWhereTheFolderTakesNoNewFiles(dir.path(), [&] {
    try {
      FileSystem::Default().ReplaceContents(path, "new:2\r\n0\r\n");
    } catch (const RuntimeFailure&) {
      return true;
    }
    return false;
  });

  if (status == 77) GTEST_SKIP() << "the unprivileged user cannot reach " << dir.path();
  EXPECT_EQ(status, 0) << "the refused write was not raised";
  EXPECT_EQ(ReadFile(path), "old:1\r\n1\r\n");
}

}  // namespace
}  // namespace rariduze
