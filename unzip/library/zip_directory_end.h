#pragma once

#include <cstdint>
#include <string>

#include "unzip/library/byte_source.h"

namespace rariduze::unziplib {

// Where the central directory lies, as the end records say, checked against the file.
struct DirectoryEnd {
  std::uint64_t entry_count = 0;
  std::uint64_t directory_offset = 0;
  std::uint64_t directory_size = 0;
};

// Larger central directories are refused rather than read.
inline constexpr std::uint64_t kMaxDirectorySize = 64ull << 20;

// Finds the end of central directory record (and the ZIP64 records it points to) at the end of
// the archive. False, with the reason in *error, when there is none, when the archive spans
// several disks, or when the values cannot be true of this file.
bool FindDirectoryEnd(ByteSource& source, DirectoryEnd* end, std::string* error);

}  // namespace rariduze::unziplib
