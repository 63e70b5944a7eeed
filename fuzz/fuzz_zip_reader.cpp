// Arbitrary bytes as an archive for the library's own zip reader, held in memory: every entry
// is described and read, without a password and with "pw". No entry may hand out more than its
// declared size, every read must come to an end, and a directory that opened must describe
// each of its entries. Nothing is written anywhere.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "unzip/library/byte_source.h"
#include "unzip/library/zip_reader.h"

namespace {

using rariduze::unziplib::Archive;
using rariduze::unziplib::ArchiveEntry;
using rariduze::unziplib::EntryReader;
using rariduze::unziplib::OpenProblem;

void ReadWhole(Archive& archive, const ArchiveEntry& entry, const char* password) {
  OpenProblem problem = OpenProblem::kNone;
  std::string error;
  std::unique_ptr<EntryReader> reader = archive.OpenEntry(entry, password, &problem, &error);
  if (!reader) {
    if (problem == OpenProblem::kNone || error.empty()) __builtin_trap();
    return;
  }
  if (problem != OpenProblem::kNone) __builtin_trap();
  char buffer[4096];
  std::uint64_t total = 0;
  for (;;) {
    std::int64_t n = reader->Read(buffer, sizeof buffer, &error);
    if (n < 0) {
      if (error.empty()) __builtin_trap();
      return;
    }
    if (n == 0) break;
    total += static_cast<std::uint64_t>(n);
    if (total > entry.size || n > static_cast<std::int64_t>(sizeof buffer)) __builtin_trap();
  }
  // A completed entry handed out exactly its declared size, and stays completed.
  if (total != entry.size || reader->Read(buffer, sizeof buffer, &error) != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  std::unique_ptr<Archive> archive = rariduze::unziplib::OpenZipReaderArchive(
      rariduze::unziplib::MemorySource(std::string(reinterpret_cast<const char*>(data), size)),
      &error);
  if (!archive) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  for (std::uint64_t i = 0; i < archive->EntryCount(); ++i) {
    ArchiveEntry entry;
    if (!archive->Entry(i, &entry, &error) || entry.index != i) __builtin_trap();
    ReadWhole(*archive, entry, nullptr);
    if (entry.encrypted) ReadWhole(*archive, entry, "pw");
  }
  return 0;
}
