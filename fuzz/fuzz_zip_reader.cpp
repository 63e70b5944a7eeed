// Arbitrary bytes as an archive for the library's own zip reader, held in memory: every entry
// is described and read, without a password and with "pw". No entry may hand out more than its
// declared size, every read must come to an end, and a directory that opened must describe
// each of its entries. An archive that opens and whose length is a multiple of 16 (a choice the
// fuzzer makes easily, and one that keeps most runs off the disk) is then extracted into a
// folder below the working folder, and nothing may appear beside it.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "unzip/library/byte_source.h"
#include "unzip/library/extraction.h"
#include "unzip/library/host.h"
#include "unzip/library/name_filter.h"
#include "unzip/library/zip_reader.h"

namespace {

namespace fs = std::filesystem;
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

std::int32_t GivePassword(char* buffer, std::int32_t length, const char*, const char*) {
  if (length < 3) return 1;
  buffer[0] = 'p';
  buffer[1] = 'w';
  buffer[2] = '\0';
  return 0;
}

// jail/ holds only target/; anything else in jail/ escaped the target. Jails of runs that have
// ended (libFuzzer leaves without running exit handlers) are removed first.
const fs::path& Jail() {
  static const fs::path jail = [] {
    const std::string prefix = "fuzz-zip-reader-";
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::current_path(), ignored)) {
      std::string name = entry.path().filename().string();
      if (name.rfind(prefix, 0) != 0) continue;
      pid_t owner = static_cast<pid_t>(std::atol(name.c_str() + prefix.size()));
      if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH) fs::remove_all(entry, ignored);
    }
    fs::path path = fs::current_path() / (prefix + std::to_string(::getpid()));
    fs::remove_all(path, ignored);
    fs::create_directories(path);
    return path;
  }();
  return jail;
}

void ExtractIntoJail(Archive& archive) {
  const fs::path target = Jail() / "target";
  std::error_code ignored;
  fs::remove_all(target, ignored);
  fs::create_directories(target);
  UnzipCallbacks callbacks{};
  callbacks.password = &GivePassword;
  rariduze::unziplib::Host host(&callbacks, 1);
  rariduze::unziplib::NameFilter filter({}, {}, false);
  rariduze::unziplib::ExtractionSettings settings;
  settings.use_folder_names = true;
  settings.overwrite_existing = true;
  settings.target_folder = target.string() + "/";
  rariduze::unziplib::ExtractArchive(archive, filter, settings, host);
  for (const fs::directory_entry& entry : fs::directory_iterator(Jail())) {
    if (entry.path().filename() != "target") __builtin_trap();
  }
  if (!fs::is_directory(fs::symlink_status(target))) __builtin_trap();
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
  if (size % 16 == 0) ExtractIntoJail(*archive);
  return 0;
}
