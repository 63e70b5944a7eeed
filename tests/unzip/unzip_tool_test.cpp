// rariduze-unzip run as a program on archives made by the zip tool: the same arguments, lines
// and exit codes on every system.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/dynamic_library.h"
#include "tests/unzip/unzip_tool_fixture.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST_F(UnzipToolTest, ListPrintsOneLinePerFileAndTheCount) {
  ProgramRun run = Tool({"list", archive_});
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  EXPECT_THAT(LinesOf(run.output),
              ElementsAre("\ttop.txt\t3\t3\t100\tStored\t2021-03-04 05:06\t1ed91fca\t0",
                          "docs\\sub\treadme.txt\t7\t7\t100\tStored\t2021-03-04 05:06\t16e490b3\t0",
                          "count 2"));
}

TEST_F(UnzipToolTest, ExtractsTheSelectedEntryAndPrintsEachEvent) {
  ProgramRun run =
      Tool({"extract", archive_, out_, "--folder-names", "--select", "docs/sub/readme.txt"});
  EXPECT_EQ(run.exit_status, 0) << run.output << run.errors;
  std::vector<std::string> lines = LinesOf(run.output);
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
  EXPECT_THAT(LinesOf(run.output).back(), "result false");
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
  EXPECT_FALSE(FileIsThere(out_));
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

TEST_F(UnzipToolTest, MissingLibraryIsReportedAsARaisedError) {
  std::string alone = dir_.File("alone");
  fs::create_directories(Utf8Path(alone));
  const std::string copy = alone + PathSeparator() + ProgramFileName("rariduze-unzip");
  fs::copy_file(Utf8Path(ToolPath()), Utf8Path(copy));
  ProgramRun run = Tool({"extract", archive_, out_}, copy);
  EXPECT_EQ(run.exit_status, 3);
  EXPECT_THAT(run.output, StartsWith("error 53 rariduze-unzip.VBUnzip File not found: " + alone +
                                     PathSeparator() + SharedLibraryFileName("vbuzip10")));
}

TEST_F(UnzipToolTest, PathsAndNamesBeyondAnyOneCodePageArriveWhole) {
  // Latin, Cyrillic and Chinese letters together fit no 8-bit code page.
  const std::string name = "\xC3\xA9t\xC3\xA9 \xD0\x96 \xE4\xB8\xAD";  // "été Ж 中"
  const std::string src = dir_.File("src " + name);
  MakeFiles(src, {{name + "/" + name + ".txt", "inside"}, {"plain.txt", "plain"}});
  const std::string archive = dir_.File(name + ".zip");
  ASSERT_TRUE(RunZip(src, {"-r", archive, "."}));
  const std::string out = dir_.File("out " + name);

  ProgramRun run =
      Tool({"extract", archive, out, "--folder-names", "--select", name + "/" + name + ".txt"});
  EXPECT_EQ(run.exit_status, 0) << run.output << run.errors;
  EXPECT_THAT(run.output, HasSubstr("\t" + name + ".txt\t6\t6\t100\tStored\t"));
  EXPECT_THAT(run.output, HasSubstr("\nprogress extracted " + name + "\\" + name + ".txt\n"));
  EXPECT_THAT(TreeBelow(out), ElementsAre(name, name + "/" + name + ".txt"));
  EXPECT_EQ(ReadFile(out + "/" + name + "/" + name + ".txt"), "inside");
}

TEST_F(UnzipToolTest, AWriteFailureInTheMiddleOfAnEntryLeavesNoPartialFile) {
  std::string big(1 << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
  MakeFiles(src_, {{"big.bin", big}});
  std::string archive = dir_.File("big.zip");
  ASSERT_TRUE(RunZip(src_, {archive, "top.txt", "big.bin"}));
  // Files may grow to 64 KiB; the signal that would end the program is ignored, so that the
  // write fails partway. Its reason is the system's own ("File too large" on Linux, a general
  // failure under Wine).
  ProgramRun run = RunProgram(
      {"sh", "-c", "trap '' XFSZ; exec prlimit --fsize=65536 " + ShellProgramPrefix() + "\"$@\"",
       "sh", ToolPath(), "extract", archive, out_},
      std::chrono::seconds(60));
  EXPECT_EQ(run.exit_status, 1) << run.output << run.errors;
  EXPECT_THAT(run.output, HasSubstr("progress error: big.bin: cannot write: "));
  EXPECT_THAT(LinesOf(run.output).back(), "result false");
  EXPECT_THAT(TreeBelow(out_), ElementsAre("top.txt"));
}

}  // namespace
}  // namespace rariduze::testing
