// rariduze-unzip in a user and mount namespace of its own: without /proc, and on a small file
// system. Linux only: only a Linux program finds its own file through /proc, and Wine's server,
// which opens files for a Windows program, stays outside the namespace and misses its mounts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "tests/unzip/unzip_tool_fixture.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Runs the shell command as root of a user and mount namespace of its own, where it may mount
// file systems; nothing when this system does not allow such namespaces.
std::optional<ProgramRun> InOwnNamespace(const std::vector<std::string>& args) {
  if (RunProgram({"unshare", "--user", "--map-root-user", "--mount", "true"}).exit_status != 0) {
    return std::nullopt;
  }
  std::vector<std::string> argv = {"unshare", "--user", "--map-root-user", "--mount",
                                   "bash",    "-o",     "pipefail",        "-c"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, std::chrono::seconds(60));
}

TEST_F(UnzipToolTest, WithoutItsOwnFolderTheLibraryIsNotLoadedFromAnywhereElse) {
  // A library in the working folder that would do the work if it were taken.
  std::string work = dir_.File("work");
  fs::create_directories(work);
  fs::copy_file(fs::path(ToolPath()).parent_path() / "libvbuzip10.so", work + "/libvbuzip10.so");
  // With /proc hidden, the program cannot find its own file.
  std::optional<ProgramRun> run =
      InOwnNamespace({"mount -t tmpfs none /proc && cd \"$1\" && exec \"$2\" extract \"$3\" \"$4\"",
                      "sh", work, ToolPath(), archive_, out_});
  if (!run) GTEST_SKIP() << "this system allows no user namespaces";
  // Nothing was extracted: the library beside it was not taken.
  EXPECT_NE(run->exit_status, 0) << run->output << run->errors;
  EXPECT_FALSE(fs::exists(out_));
  // A sanitized build loses its own bearings without /proc and ends the program itself; the
  // program's words can be read only without one.
  if (run->errors.find("Sanitizer") == std::string::npos) {
    EXPECT_EQ(run->exit_status, 3) << run->output << run->errors;
    EXPECT_THAT(run->output, HasSubstr("error 53 "));
    EXPECT_THAT(run->output, HasSubstr("File not found: libvbuzip10.so (the program's own folder "
                                       "cannot be found)"));
  }
}

TEST_F(UnzipToolTest, AnArchiveLargerThanTheFreeSpaceIsRefusedBeforeAnythingIsWritten) {
  // 3 MB of text that packs into a small archive, for a file system of 1 MB.
  std::string text;
  while (text.size() < 3000000) text += "zentri update " + std::to_string(text.size()) + "\n";
  MakeFiles(src_, {{"large.txt", text}});
  std::string large = dir_.File("large.zip");
  ASSERT_TRUE(RunZip(src_, {large, "large.txt", "top.txt"}));
  std::string mount = dir_.File("small-fs");
  fs::create_directories(mount);
  std::optional<ProgramRun> run =
      InOwnNamespace({"mount -t tmpfs -o size=1m none \"$1\" || exit 9\n"
                      "\"$2\" extract \"$3\" \"$1/out\"; echo \"large $?\"\n"
                      "\"$2\" extract \"$4\" \"$1/small\" --folder-names; echo \"small $?\"\n"
                      "cd \"$1\" && find . | sort",
                      "sh", mount, ToolPath(), large, archive_});
  if (!run) GTEST_SKIP() << "this system allows no user namespaces";
  ASSERT_EQ(run->exit_status, 0) << run->output << run->errors;
  EXPECT_THAT(run->output, HasSubstr("bytes free; nothing extracted\nresult false\nlarge 1\n"));
  // A small archive fits; the large one left nothing behind, not even its folder.
  EXPECT_THAT(run->output, HasSubstr("small 0\n.\n./small\n./small/docs\n./small/docs/sub\n"
                                     "./small/docs/sub/readme.txt\n./small/top.txt\n"));
  EXPECT_THAT(run->output, ::testing::Not(HasSubstr("./out")));
}

}  // namespace
}  // namespace rariduze::testing
