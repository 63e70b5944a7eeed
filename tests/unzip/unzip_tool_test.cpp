// rariduze-unzip run as a program on archives made by the zip tool.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <optional>

#include "tests/support/child_process.h"
#include "tests/support/test_dir.h"
#include "tests/unzip/archive_maker.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

class UnzipToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeFiles(src_, {{"docs/sub/readme.txt", "readme\n"}, {"top.txt", "top"}});
    for (const char* file : {"/docs/sub/readme.txt", "/top.txt"}) {
      SetModified(src_ + file, LocalTime(2021, 3, 4, 5, 6));
    }
    ASSERT_TRUE(RunZip(src_, {"-r", archive_, "top.txt", "docs"}));
  }

  ProgramRun Tool(std::vector<std::string> args, const std::string& tool = UNZIP_TOOL) {
    args.insert(args.begin(), tool);
    return RunProgram(args, std::chrono::seconds(30));
  }

  TestDir dir_{"unzip-tool"};
  std::string src_ = dir_.File("src");
  std::string archive_ = dir_.File("a.zip");
  std::string out_ = dir_.File("out");
};

TEST_F(UnzipToolTest, ListPrintsOneLinePerFileAndTheCount) {
  ProgramRun run = Tool({"list", archive_});
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_THAT(Lines(run.output),
              ElementsAre("\ttop.txt\t3\t3\t100\tStored\t2021-03-04 05:06\t1ed91fca\t0",
                          "docs\\sub\treadme.txt\t7\t7\t100\tStored\t2021-03-04 05:06\t16e490b3\t0",
                          "count 2"));
}

TEST_F(UnzipToolTest, ExtractsTheSelectedEntryAndPrintsEachEvent) {
  ProgramRun run =
      Tool({"extract", archive_, out_, "--folder-names", "--select", "docs/sub/readme.txt"});
  EXPECT_EQ(run.exit_status, 0) << run.output << run.errors;
  std::vector<std::string> lines = Lines(run.output);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[2], "count 2");  // the listing comes first
  EXPECT_THAT(std::vector<std::string>(lines.begin() + 3, lines.end()),
              ElementsAre("cancel-check docs\\sub\\readme.txt",
                          "progress extracted docs\\sub\\readme.txt", "result true"));
  EXPECT_THAT(TreeBelow(out_), ElementsAre("docs", "docs/sub", "docs/sub/readme.txt"));
}

TEST_F(UnzipToolTest, RefusedReplacementEndsWithResultFalse) {
  MakeFiles(out_, {{"top.txt", "mine"}});
  ProgramRun run = Tool({"extract", archive_, out_, "--prompt-overwrite", "no", "--cancel-at",
                         "docs\\sub\\readme.txt"});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_THAT(run.output, HasSubstr("overwrite top.txt\n"));
  EXPECT_THAT(run.output, HasSubstr("progress stopped before docs\\sub\\readme.txt"));
  EXPECT_THAT(Lines(run.output).back(), "result false");
  EXPECT_EQ(ReadFile(out_ + "/top.txt"), "mine");
}

TEST_F(UnzipToolTest, BadArgumentsAndMissingEntriesExitWithTwo) {
  EXPECT_EQ(Tool({}).exit_status, 2);
  EXPECT_EQ(Tool({"extract", archive_}).exit_status, 2);
  EXPECT_EQ(Tool({"extract", archive_, out_, "--frobnicate"}).exit_status, 2);
  EXPECT_EQ(Tool({"extract", archive_, out_, "--prompt-overwrite", "maybe"}).exit_status, 2);
  ProgramRun run = Tool({"extract", archive_, out_, "--select", "nothing.txt"});
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_THAT(run.errors, HasSubstr("no entry nothing.txt"));
  EXPECT_FALSE(fs::exists(out_));
}

TEST_F(UnzipToolTest, ListingAnUnreadableArchiveFails) {
  WriteFile(dir_.File("garbage.zip"), "this is no archive at all");
  for (const std::string& archive : {dir_.File("garbage.zip"), dir_.File("missing.zip")}) {
    ProgramRun run = Tool({"list", archive});
    EXPECT_EQ(run.exit_status, 1) << archive;
    EXPECT_THAT(run.output, HasSubstr("progress error: cannot read the archive"));
    EXPECT_THAT(run.output, HasSubstr("count 0"));
    EXPECT_THAT(run.errors, HasSubstr("could not be listed"));
  }
}

// Runs the shell command as root of a user and mount namespace of its own, where it may mount
// file systems; nothing when this system does not allow such namespaces.
std::optional<ProgramRun> InOwnNamespace(const std::vector<std::string>& args) {
  if (RunProgram({"unshare", "--user", "--map-root-user", "--mount", "true"}).exit_status != 0) {
    return std::nullopt;
  }
  std::vector<std::string> argv = {"unshare", "--user", "--map-root-user", "--mount", "sh", "-c"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, std::chrono::seconds(60));
}

TEST_F(UnzipToolTest, WithoutItsOwnFolderTheLibraryIsNotLoadedFromAnywhereElse) {
  // A library in the working folder that would do the work if it were taken.
  std::string work = dir_.File("work");
  fs::create_directories(work);
  fs::copy_file(fs::path(UNZIP_TOOL).parent_path() / "libvbuzip10.so", work + "/libvbuzip10.so");
  // With /proc hidden, the program cannot find its own file.
  std::optional<ProgramRun> run =
      InOwnNamespace({"mount -t tmpfs none /proc && cd \"$1\" && exec \"$2\" extract \"$3\" \"$4\"",
                      "sh", work, UNZIP_TOOL, archive_, out_});
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
                      "sh", mount, UNZIP_TOOL, large, archive_});
  if (!run) GTEST_SKIP() << "this system allows no user namespaces";
  ASSERT_EQ(run->exit_status, 0) << run->output << run->errors;
  EXPECT_THAT(run->output, HasSubstr("bytes free; nothing extracted\nresult false\nlarge 1\n"));
  // A small archive fits; the large one left nothing behind, not even its folder.
  EXPECT_THAT(run->output, HasSubstr("small 0\n.\n./small\n./small/docs\n./small/docs/sub\n"
                                     "./small/docs/sub/readme.txt\n./small/top.txt\n"));
  EXPECT_THAT(run->output, ::testing::Not(HasSubstr("./out")));
}

TEST_F(UnzipToolTest, AWriteFailureInTheMiddleOfAnEntryLeavesNoPartialFile) {
  std::string big(1 << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
  MakeFiles(src_, {{"big.bin", big}});
  std::string archive = dir_.File("big.zip");
  ASSERT_TRUE(RunZip(src_, {archive, "top.txt", "big.bin"}));
  // Files may grow to 64 KiB; the signal that would end the program is ignored, so that the
  // write fails instead.
  ProgramRun run = RunProgram({"sh", "-c", "trap '' XFSZ; exec prlimit --fsize=65536 \"$@\"", "sh",
                               UNZIP_TOOL, "extract", archive, out_});
  EXPECT_EQ(run.exit_status, 1) << run.output << run.errors;
  EXPECT_THAT(run.output, HasSubstr("progress error: big.bin: cannot write: File too large"));
  EXPECT_THAT(Lines(run.output).back(), "result false");
  EXPECT_THAT(TreeBelow(out_), ElementsAre("top.txt"));
}

TEST_F(UnzipToolTest, MissingLibraryIsReportedAsARaisedError) {
  std::string alone = dir_.File("alone");
  fs::create_directories(alone);
  fs::copy_file(UNZIP_TOOL, alone + "/rariduze-unzip");
  ProgramRun run = Tool({"extract", archive_, out_}, alone + "/rariduze-unzip");
  EXPECT_EQ(run.exit_status, 3);
  EXPECT_THAT(run.output, StartsWith("error 53 rariduze-unzip.VBUnzip File not found: " + alone +
                                     "/libvbuzip10.so"));
}

}  // namespace
}  // namespace rariduze::testing
