#pragma once

// The real unzip library through the unzip object, on archives made in a folder of the test's
// own: what the library tests on every system share.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "tests/support/host.h"
#include "tests/support/test_dir.h"
#include "tests/unzip/archive_maker.h"
#include "tests/unzip/recording_events.h"
#include "unzip/library/unzip_api.h"
#include "unzip/unzip_object.h"

namespace rariduze::testing {

// The folder of the library that the updater ships, as this system names it.
inline std::string LibraryFolder() { return PlatformPath(UNZIP_LIBRARY_DIR); }

// The library's C entry point, for what only the library's own side of the interface shows.
class LibraryEntry {
 public:
  using SingleEntryUnzipFn = std::int32_t (*)(std::int32_t, const char* const*, std::int32_t,
                                              const char* const*, UnzipOptions*, UnzipCallbacks*);

  LibraryEntry() {
    std::string error;
    library_ = LoadDynamicLibrary(
        LibraryFolder() + PathSeparator() + SharedLibraryFileName("vbuzip10"), &error);
    EXPECT_NE(library_, nullptr) << error;
    if (library_) {
      unzip_ = reinterpret_cast<SingleEntryUnzipFn>(library_->Symbol("Wiz_SingleEntryUnzip"));
    }
  }

  std::int32_t operator()(std::int32_t include_count, const char* const* includes,
                          std::int32_t exclude_count, const char* const* excludes,
                          UnzipOptions* options, UnzipCallbacks* callbacks) const {
    EXPECT_NE(unzip_, nullptr);
    if (unzip_ == nullptr) return -1;
    return unzip_(include_count, includes, exclude_count, excludes, options, callbacks);
  }

 private:
  std::unique_ptr<DynamicLibrary> library_;
  SingleEntryUnzipFn unzip_ = nullptr;
};

class UnzipLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mUnzip::SetLibraryDirectory(LibraryFolder());
    std::filesystem::create_directories(Utf8Path(src_));
    std::filesystem::create_directories(Utf8Path(outside_));
    unzip_.SetEventHandler(&events_);
  }
  void TearDown() override {
    mUnzip::SetLibraryDirectory("");
    // Whatever the archive held, nothing may have reached the folder beside the target.
    EXPECT_THAT(TreeBelow(outside_), ::testing::IsEmpty());
  }

  // Archives the files with the zip tool; returns the archive's path.
  std::string Zip(const std::map<std::string, std::string>& files,
                  std::vector<std::string> options = {},
                  const std::vector<std::string>& inputs = {"."}) {
    MakeFiles(src_, files);
    std::string archive = dir_.File("a" + std::to_string(++archives_) + ".zip");
    options.insert(options.end(), {"-r", archive});
    options.insert(options.end(), inputs.begin(), inputs.end());
    EXPECT_TRUE(RunZip(src_, options));
    return archive;
  }

  bool Extract(const std::string& archive, const std::string& folder) {
    unzip_.SetZipFile(archive);
    unzip_.SetUnzipFolder(folder);
    return unzip_.Unzip();
  }

  TestDir dir_{"unzip-library"};
  std::string src_ = dir_.File("src");
  std::string out_ = dir_.File("out");
  std::string outside_ = dir_.File("outside");
  int archives_ = 0;
  RecordingEvents events_;
  cUnzip unzip_;
};

}  // namespace rariduze::testing
