#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace rariduze::testing {

// Writes each file (path below folder -> contents), making the folders on the way.
void MakeFiles(const std::string& folder, const std::map<std::string, std::string>& files);

// Runs the zip tool inside folder with args (e.g. {"-r", "../a.zip", "."}); true on success.
bool RunZip(const std::string& folder, const std::vector<std::string>& args);

// An entry written with libzip, for archives the zip tool would not make.
struct CraftedEntry {
  std::string name;
  std::string data;
  // File type and permission bits; without them the entry is marked as made on DOS.
  std::optional<std::uint32_t> unix_mode;
};
void CraftArchive(const std::string& path, const std::vector<CraftedEntry>& entries);

// The local time year-month-day hour:minute as the system counts it (month from 1).
std::time_t LocalTime(int year, int month, int day, int hour, int minute);
// Sets a file's modification (and access) time; fails the test when it cannot.
void SetModified(const std::string& path, std::time_t when);

// Names of everything below folder, "/" separated, sorted ("" when it is empty).
std::vector<std::string> TreeBelow(const std::string& folder);

}  // namespace rariduze::testing
