// The Linux file system's replacement of a whole file, when the disk refuses the write.
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
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

}  // namespace
}  // namespace rariduze
