#pragma once

// rariduze-unzip run as a program on an archive made by the zip tool.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/host.h"
#include "tests/support/test_dir.h"
#include "tests/unzip/archive_maker.h"

#include "tests/support/test_data.h"

namespace rariduze::testing {

// The tool as this system names it.
inline std::string ToolPath() { return PlatformPath(UNZIP_TOOL); }

class UnzipToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeFiles(src_, {{"docs/sub/readme.txt", "readme\n"}, {"top.txt", "top"}});
    for (const char* file : {"/docs/sub/readme.txt", "/top.txt"}) {
      SetModified(src_ + file, LocalTime(2021, 3, 4, 5, 6));
    }
    ASSERT_TRUE(RunZip(src_, {"-r", archive_, "top.txt", "docs"}));
  }

  // What the tool printed, with its line ends as on Linux.
  ProgramRun Tool(std::vector<std::string> args, const std::string& tool = ToolPath()) {
    args.insert(args.begin(), tool);
    return RunProgram(args, std::chrono::seconds(30));
  }

  TestDir dir_{"unzip-tool"};
  std::string src_ = dir_.File("src");
  std::string archive_ = dir_.File("a.zip");
  std::string out_ = dir_.File("out");
};

}  // namespace rariduze::testing
