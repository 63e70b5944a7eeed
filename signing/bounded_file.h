#pragma once

#include <cstddef>
#include <string>

#include "platform/file_system.h"

namespace rariduze {

// A small file read whole, but never more than max_bytes of it: a larger one (or an endless
// one) is refused after max_bytes + 1 bytes.
struct BoundedFile {
  enum class Outcome { kRead, kUnreadable, kTooLarge };
  Outcome outcome = Outcome::kUnreadable;
  std::string bytes;  // what was read, when kRead
};
BoundedFile ReadFileUpTo(FileSystem& files, const std::string& path, std::size_t max_bytes);

}  // namespace rariduze
