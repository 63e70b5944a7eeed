#pragma once

#include <cstdint>
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

// Names of everything below folder, "/" separated, sorted ("" when it is empty).
std::vector<std::string> TreeBelow(const std::string& folder);

}  // namespace rariduze::testing
