#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rariduze::testing {

// Writes each file (UTF-8 path below folder -> contents), making the folders on the way.
void MakeFiles(const std::string& folder, const std::map<std::string, std::string>& files);

// Runs the zip tool inside folder with args (e.g. {"-r", "../a.zip", "."}); true on success.
// On Windows it is this machine's Linux zip tool, reached through Wine's bridge.
bool RunZip(const std::string& folder, const std::vector<std::string>& args);

// Runs a shell command inside folder, where "$1" names archive (a Linux shell on every system,
// for what only it can make: links, Unix permissions, names that are not UTF-8); true when
// every command of it succeeds, those inside a pipe too.
bool RunShell(const std::string& folder, const std::string& command,
              const std::string& archive = "");

// An entry of an archive written byte by byte, for archives the zip tool would not make: names
// stored exactly as given, links and modes from any system.
struct CraftedEntry {
  // unix_mode: file type and permission bits; without them the entry is marked as made on DOS.
  CraftedEntry(std::string entry_name, std::string entry_data,
               std::optional<std::uint32_t> entry_unix_mode = std::nullopt)
      : name(std::move(entry_name)), data(std::move(entry_data)), unix_mode(entry_unix_mode) {}
  // The same entry with its name marked as code page 437 rather than UTF-8.
  CraftedEntry& Cp437Name() {
    utf8_name = false;
    return *this;
  }
  // The same entry with this time (local time, to two seconds) rather than the time of writing.
  CraftedEntry& ModifiedAt(std::time_t when) {
    modified = when;
    return *this;
  }

  std::string name;
  std::string data;
  std::optional<std::uint32_t> unix_mode;
  bool utf8_name = true;  // marks a name with bytes above 127 as UTF-8
  std::optional<std::time_t> modified;
};
// Writes the entries, stored without compression, into a new archive at path.
void CraftArchive(const std::string& path, const std::vector<CraftedEntry>& entries);

// The CRC-32 that zip archives carry.
std::uint32_t Crc32(const std::string& data);

// The local time year-month-day hour:minute as the system counts it (month from 1).
std::time_t LocalTime(int year, int month, int day, int hour, int minute);
// Sets a file's modification time; fails the test when it cannot.
void SetModified(const std::string& path, std::time_t when);
// A file's modification time.
std::time_t ModifiedTime(const std::string& path);

// Names of everything below folder, "/" separated, sorted ("" when it is empty).
std::vector<std::string> TreeBelow(const std::string& folder);

}  // namespace rariduze::testing
