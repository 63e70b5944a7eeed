// The library's own zip reader on archives made by the zip tool: an entry read whole, with its
// outcome, and the archives the cases start from.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>

#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"
#include "tests/unzip/archive_maker.h"
#include "tests/unzip/zip_bytes.h"
#include "unzip/library/byte_source.h"
#include "unzip/library/zip_reader.h"

namespace rariduze::testing {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using unziplib::Archive;
using unziplib::ArchiveEntry;
using unziplib::EntryKind;
using unziplib::EntryReader;
using unziplib::OpenProblem;

inline std::uint32_t Crc(const std::string& data) {
  return static_cast<std::uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// How reading one entry ended.
struct Outcome {
  OpenProblem problem = OpenProblem::kNone;
  bool complete = false;  // read to its end and checked
  std::string data;       // what was handed out
  std::string error;
};

inline Outcome ReadEntry(Archive& archive, std::uint64_t index, const char* password = nullptr) {
  Outcome outcome;
  ArchiveEntry entry;
  if (!archive.Entry(index, &entry, &outcome.error)) {
    outcome.problem = OpenProblem::kDamaged;
    return outcome;
  }
  std::unique_ptr<EntryReader> reader =
      archive.OpenEntry(entry, password, &outcome.problem, &outcome.error);
  if (!reader) return outcome;
  char buffer[7000];  // an odd size, so that pieces end anywhere
  for (int reads = 0; reads < 100000; ++reads) {
    std::int64_t n = reader->Read(buffer, sizeof buffer, &outcome.error);
    if (n <= 0) {
      outcome.complete = n == 0;
      break;
    }
    outcome.data.append(buffer, static_cast<std::size_t>(n));
    EXPECT_LE(outcome.data.size(), entry.size) << "more than declared was handed out";
  }
  return outcome;
}

class ZipReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeFiles(src_, {{"a.txt", text_a_}, {"b.txt", "bee"}, {"sub/c.txt", text_c_}});
  }

  // The zip tool run in the source folder through the shell; "$1" is the archive.
  std::string Zip(const std::string& name, const std::string& command) {
    std::string archive = dir_.File(name);
    EXPECT_TRUE(RunShell(src_, command, archive));
    return archive;
  }

  std::unique_ptr<Archive> Open(const std::string& path) {
    std::string error;
    std::unique_ptr<Archive> archive = unziplib::OpenZipReaderArchive(path, &error);
    EXPECT_NE(archive, nullptr) << error;
    return archive;
  }

  // The error that opening bytes as an archive gives; empty when it opens.
  std::string OpenError(std::string bytes) {
    std::string error;
    std::unique_ptr<Archive> archive =
        unziplib::OpenZipReaderArchive(unziplib::MemorySource(std::move(bytes)), &error);
    return archive ? "" : error;
  }

  std::unique_ptr<Archive> OpenBytes(std::string bytes) {
    std::string error;
    std::unique_ptr<Archive> archive =
        unziplib::OpenZipReaderArchive(unziplib::MemorySource(std::move(bytes)), &error);
    EXPECT_NE(archive, nullptr) << error;
    return archive;
  }

  TestDir dir_{"zip-reader"};
  std::string src_ = dir_.File("src");
  std::string text_a_ = Text(50000, 1);
  std::string text_c_ = Text(3000, 2);
};

}  // namespace rariduze::testing
