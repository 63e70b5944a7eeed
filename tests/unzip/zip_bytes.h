#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rariduze::testing {

// Where the records of a small archive (no ZIP64, no comment) lie, so that a test can damage
// chosen fields of an archive made by the zip tool. Fails the test when bytes hold no such
// archive.
struct ZipLayout {
  std::size_t directory_end = 0;
  std::size_t directory_offset = 0;
  std::vector<std::size_t> central;  // offset of each central directory record
  std::vector<std::size_t> local;    // offset of each local header, in directory order
};
ZipLayout LayoutOf(const std::string& bytes);

// Field offsets inside the records.
namespace field {
inline constexpr std::size_t kCentralMethod = 10;
inline constexpr std::size_t kCentralCrc = 16;
inline constexpr std::size_t kCentralPackedSize = 20;
inline constexpr std::size_t kCentralSize = 24;
inline constexpr std::size_t kCentralNameLength = 28;
inline constexpr std::size_t kCentralLocalOffset = 42;
inline constexpr std::size_t kCentralName = 46;
inline constexpr std::size_t kLocalMethod = 8;
inline constexpr std::size_t kLocalCrc = 14;
inline constexpr std::size_t kLocalPackedSize = 18;
inline constexpr std::size_t kLocalSize = 22;
inline constexpr std::size_t kLocalName = 30;
inline constexpr std::size_t kEndEntriesHere = 8;
inline constexpr std::size_t kEndEntries = 10;
inline constexpr std::size_t kEndDirectorySize = 12;
inline constexpr std::size_t kEndDirectoryOffset = 16;
}  // namespace field

std::uint32_t Get32(const std::string& bytes, std::size_t at);
void Put16(std::string& bytes, std::size_t at, std::uint16_t value);
void Put32(std::string& bytes, std::size_t at, std::uint32_t value);
// Replaces the name of entry i in both its headers by one of the same length.
void RenameEntry(std::string& bytes, const ZipLayout& layout, std::size_t i,
                 const std::string& name);

}  // namespace rariduze::testing
