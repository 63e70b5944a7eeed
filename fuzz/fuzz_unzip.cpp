// Arbitrary bytes as an archive: the unzip library lists it and extracts it into a fresh
// folder, and nothing may ever appear outside that folder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "unzip/library/unzip_api.h"

namespace {

namespace fs = std::filesystem;

int32_t Print(const char*, int32_t count) { return count; }
int32_t Replace(const char*) { return UNZIP_REPLACE_YES; }
int32_t Password(char* buffer, int32_t length, const char*, const char*) {
  if (length < 3) return 1;
  buffer[0] = 'p';
  buffer[1] = 'w';
  buffer[2] = '\0';
  return 0;
}
void List(uint32_t, uint32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
          const char*, const char*, uint32_t, int32_t) {}
int32_t Service(const char*, int32_t) { return 0; }

// jail/ holds the archive and target/; anything else in jail/ escaped the target.
const fs::path& Jail() {
  static const fs::path jail = [] {
    fs::path path =
        fs::temp_directory_path() / ("rariduze-fuzz-unzip-" + std::to_string(::getpid()));
    fs::remove_all(path);
    fs::create_directories(path);
    return path;
  }();
  return jail;
}

void CheckNothingEscaped() {
  for (const fs::directory_entry& entry : fs::directory_iterator(Jail())) {
    const std::string name = entry.path().filename().string();
    if (name != "archive.zip" && name != "target") __builtin_trap();
  }
  if (!fs::is_directory(fs::symlink_status(Jail() / "target"))) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool folder_names = (data[0] & 1) != 0;
  const fs::path archive = Jail() / "archive.zip";
  const fs::path target = Jail() / "target";
  std::error_code ignored;
  fs::remove_all(target, ignored);
  fs::create_directories(target);
  {
    std::ofstream out(archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  const std::string archive_path = archive.string();
  const std::string target_path = target.string() + "/";

  UnzipCallbacks callbacks{};
  callbacks.print = Print;
  callbacks.replace = Replace;
  callbacks.password = Password;
  callbacks.list = List;
  callbacks.service = Service;
  for (int list_only : {1, 0}) {
    UnzipOptions options{};
    options.list_only = list_only;
    options.use_folder_names = folder_names ? 1 : 0;
    options.overwrite_existing = 1;
    options.archive_path = archive_path.c_str();
    options.target_folder = target_path.c_str();
    Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &options, &callbacks);
    CheckNothingEscaped();
  }
  return 0;
}
