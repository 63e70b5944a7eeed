#include "tests/unzip/archive_maker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "tests/support/child_process.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

namespace fs = std::filesystem;

void Put16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xff);
  out += static_cast<char>((value >> 8) & 0xff);
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xffff);
  Put16(out, value >> 16);
}

// An entry's time and date as the zip format keeps them: local time, in two-second steps.
std::pair<std::uint16_t, std::uint16_t> DosTimeAndDate(std::time_t when) {
  std::tm local{};
  std::tm* found = std::localtime(&when);
  if (found != nullptr) local = *found;
  auto time =
      static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  auto date = static_cast<std::uint16_t>(((std::max(local.tm_year, 80) - 80) << 9) |
                                         ((local.tm_mon + 1) << 5) | local.tm_mday);
  return {time, date};
}

bool HasHighBytes(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) > 127; });
}

}  // namespace

void MakeFiles(const std::string& folder, const std::map<std::string, std::string>& files) {
  for (const auto& [path, contents] : files) {
    fs::path full = Utf8Path(folder) / Utf8Path(path);
    fs::create_directories(full.parent_path());
    WriteFile(Utf8Text(full), contents);
  }
}

bool RunShell(const std::string& folder, const std::string& command, const std::string& archive) {
  // pipefail: a tool that fails inside a pipe fails the command, not only the pipe's last one.
  ProgramRun run =
      RunProgram({"bash", "-o", "pipefail", "-c", "cd \"$0\" && " + command, folder, archive});
  EXPECT_EQ(run.exit_status, 0) << command << "\n" << run.errors;
  return !run.timed_out && run.exit_status == 0;
}

bool RunZip(const std::string& folder, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"sh", "-c", "cd \"$0\" && exec zip -q \"$@\"", folder};
  argv.insert(argv.end(), args.begin(), args.end());
  ProgramRun run = RunProgram(argv);
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  return !run.timed_out && run.exit_status == 0;
}

std::uint32_t Crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void CraftArchive(const std::string& path, const std::vector<CraftedEntry>& entries) {
  constexpr std::uint32_t kUnixSystem = 3;
  constexpr std::uint32_t kVersion = 20;  // 2.0: folders, plain storing
  constexpr std::uint32_t kUtf8Flag = 1u << 11;
  constexpr std::uint32_t kDosFolder = 0x10;
  std::string archive;
  std::string directory;
  for (const CraftedEntry& entry : entries) {
    const auto [time, date] = DosTimeAndDate(entry.modified.value_or(std::time(nullptr)));
    const std::uint32_t flags = entry.utf8_name && HasHighBytes(entry.name) ? kUtf8Flag : 0;
    const std::uint32_t crc = Crc32(entry.data);
    const auto size = static_cast<std::uint32_t>(entry.data.size());
    const auto name_length = static_cast<std::uint32_t>(entry.name.size());
    const auto offset = static_cast<std::uint32_t>(archive.size());
    // What the local header and the directory record share: version needed, flags, method
    // (stored), time, date, CRC, both sizes, name length.
    std::string common;
    Put16(common, kVersion);
    Put16(common, flags);
    Put16(common, 0);
    Put16(common, time);
    Put16(common, date);
    Put32(common, crc);
    Put32(common, size);
    Put32(common, size);
    Put16(common, name_length);
    Put16(common, 0);  // no extra field

    Put32(archive, 0x04034b50);
    archive += common + entry.name + entry.data;

    const bool folder = !entry.name.empty() && entry.name.back() == '/';
    Put32(directory, 0x02014b50);
    Put16(directory, (entry.unix_mode ? kUnixSystem << 8 : 0) | kVersion);
    directory += common;
    Put16(directory, 0);  // comment length
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, entry.unix_mode ? *entry.unix_mode << 16 : (folder ? kDosFolder : 0));
    Put32(directory, offset);
    directory += entry.name;
  }
  const auto directory_offset = static_cast<std::uint32_t>(archive.size());
  archive += directory;
  Put32(archive, 0x06054b50);
  Put16(archive, 0);
  Put16(archive, 0);
  Put16(archive, static_cast<std::uint32_t>(entries.size()));
  Put16(archive, static_cast<std::uint32_t>(entries.size()));
  Put32(archive, static_cast<std::uint32_t>(directory.size()));
  Put32(archive, directory_offset);
  Put16(archive, 0);  // comment length
  WriteFile(path, archive);
  ASSERT_EQ(ReadFile(path).size(), archive.size()) << path;
}

std::vector<std::string> TreeBelow(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  const fs::path root = Utf8Path(folder);
  for (auto it = fs::recursive_directory_iterator(root, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    names.push_back(Utf8Text(it->path().lexically_relative(root), true));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute) {
  std::tm when{};
  when.tm_year = year - 1900;
  when.tm_mon = month - 1;
  when.tm_mday = day;
  when.tm_hour = hour;
  when.tm_min = minute;
  when.tm_isdst = -1;
  return std::mktime(&when);
}

void SetModified(const std::string& path, std::time_t when) {
  using namespace std::chrono;
  std::error_code error;
  fs::last_write_time(Utf8Path(path), file_clock::from_sys(system_clock::from_time_t(when)), error);
  ASSERT_FALSE(error) << path << ": " << error.message();
}

std::time_t ModifiedTime(const std::string& path) {
  using namespace std::chrono;
  std::error_code error;
  fs::file_time_type time = fs::last_write_time(Utf8Path(path), error);
  EXPECT_FALSE(error) << path << ": " << error.message();
  return system_clock::to_time_t(time_point_cast<system_clock::duration>(file_clock::to_sys(time)));
}

}  // namespace rariduze::testing
