// The binding and the object against a scripted stand-in library, which records the records it
// receives and calls the callbacks with chosen values.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include "platform/dynamic_library.h"
#include "platform/failure.h"
#include "platform/system_paths.h"
#include "tests/support/host.h"
#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"
#include "tests/unzip/recording_events.h"
#include "unzip/unzip_binding.h"
#include "unzip/unzip_object.h"

namespace rariduze {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ReadFile;
using testing::TestDir;
using testing::WriteFile;

class UnzipBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mUnzip::SetLibraryDirectory(testing::PlatformPath(SCRIPTED_LIBRARY_DIR));
  }
  void TearDown() override { mUnzip::SetLibraryDirectory(""); }

  // A script for the stand-in library; returns its path, the archive path to give.
  std::string Script(const std::string& steps) {
    std::string path = dir_.File("script" + std::to_string(++scripts_));
    WriteFile(path, steps);
    return path;
  }
  // What the stand-in noted during the calls made with script.
  std::vector<std::string> Seen(const std::string& script) {
    std::vector<std::string> lines;
    std::string text = ReadFile(script + ".seen");
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      lines.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return lines;
  }
  bool SawLine(const std::string& script, const std::string& line) {
    auto lines = Seen(script);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  TestDir dir_{"unzip-binding"};
  int scripts_ = 0;
  testing::RecordingEvents events_;
};

// The program's name without its extension, then ".VBUnzip".
inline std::string VBUnzipSource() { return "unzip_binding_test.VBUnzip"; }

}  // namespace rariduze
