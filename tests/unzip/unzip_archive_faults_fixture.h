#pragma once

// Archives made by the zip tool and then damaged in chosen bytes, extracted through the unzip
// object with the library built on each backend that this build has.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/support/host.h"
#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"
#include "tests/unzip/archive_maker.h"
#include "tests/unzip/recording_events.h"
#include "unzip/unzip_object.h"

namespace rariduze::testing {

struct BackendCase {
  std::string name;
  std::string folder;
};
inline void PrintTo(const BackendCase& backend, std::ostream* out) { *out << backend.name; }

// The backends of this build, from UNZIP_BACKENDS ("name=folder|name=folder").
inline std::vector<BackendCase> BuiltBackends() {
  std::vector<BackendCase> backends;
  const std::string list = UNZIP_BACKENDS;
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find('|', start);
    if (end == std::string::npos) end = list.size();
    const std::string item = list.substr(start, end - start);
    const std::size_t equals = item.find('=');
    backends.push_back({item.substr(0, equals), PlatformPath(item.substr(equals + 1))});
    start = end + 1;
  }
  return backends;
}

class UnzipArchiveFaultsTest : public ::testing::TestWithParam<BackendCase> {
 protected:
  void SetUp() override {
    mUnzip::SetLibraryDirectory(GetParam().folder);
    unzip_.SetEventHandler(&events_);
    unzip_.SetUseFolderNames(true);
  }
  void TearDown() override { mUnzip::SetLibraryDirectory(""); }

  // The shell's command run in folder, where "$1" is the archive it is to make. Its bytes.
  std::string Zip(const std::string& folder, const std::string& command) {
    std::string archive = dir_.File("made.zip");
    std::filesystem::remove(Utf8Path(archive));
    EXPECT_TRUE(RunShell(folder, command, archive));
    return ReadFile(archive);
  }

  bool Extract(const std::string& bytes, const std::string& folder) {
    std::string archive = dir_.File("archive" + std::to_string(++archives_) + ".zip");
    WriteFile(archive, bytes);
    unzip_.SetZipFile(archive);
    unzip_.SetUnzipFolder(folder);
    return unzip_.Unzip();
  }

  TestDir dir_{"unzip-faults"};
  std::string src_ = dir_.File("src");
  std::string out_ = dir_.File("out");
  int archives_ = 0;
  RecordingEvents events_;
  cUnzip unzip_;
};

}  // namespace rariduze::testing
