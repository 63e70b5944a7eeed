// rariduze-unzip run as a program on archives made by the zip tool.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>

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
