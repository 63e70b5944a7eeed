#include "tests/unzip/archive_maker.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/child_process.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {

void MakeFiles(const std::string& folder, const std::map<std::string, std::string>& files) {
  for (const auto& [path, contents] : files) {
    std::filesystem::path full = std::filesystem::path(folder) / path;
    std::filesystem::create_directories(full.parent_path());
    WriteFile(full.string(), contents);
  }
}

bool RunZip(const std::string& folder, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"sh", "-c", "cd \"$0\" && exec zip -q \"$@\"", folder};
  argv.insert(argv.end(), args.begin(), args.end());
  ProgramRun run = RunProgram(argv);
  EXPECT_EQ(run.exit_status, 0) << run.errors;
  return !run.timed_out && run.exit_status == 0;
}

void CraftArchive(const std::string& path, const std::vector<CraftedEntry>& entries) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr) << "libzip error " << error;
  for (const CraftedEntry& entry : entries) {
    zip_source_t* source = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
    ASSERT_NE(source, nullptr);
    zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    ASSERT_GE(index, 0) << zip_strerror(archive);
    if (entry.unix_mode) {
      zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX, *entry.unix_mode << 16);
    } else {
      zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_DOS, 0);
    }
  }
  ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
}

std::vector<std::string> TreeBelow(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    names.push_back(it->path().lexically_relative(folder).string());
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
  struct timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

}  // namespace rariduze::testing
