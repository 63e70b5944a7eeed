#include "signing/bounded_file.h"

#include <optional>

namespace rariduze {

BoundedFile ReadFileUpTo(FileSystem& files, const std::string& path, std::size_t max_bytes) {
  BoundedFile result;
  std::optional<std::string> bytes = ReadPrefixOf(files.OpenForReading(path), max_bytes + 1);
  if (!bytes) return result;
  if (bytes->size() > max_bytes) {
    result.outcome = BoundedFile::Outcome::kTooLarge;
    return result;
  }
  result.outcome = BoundedFile::Outcome::kRead;
  result.bytes = std::move(*bytes);
  return result;
}

}  // namespace rariduze
