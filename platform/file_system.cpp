#include "platform/file_system.h"

#include <algorithm>

namespace rariduze {

std::optional<std::string> ReadPrefixOf(std::unique_ptr<ReadableFile> file, std::size_t max_bytes) {
  if (!file) return std::nullopt;
  std::string contents;
  char buffer[8192];
  while (contents.size() < max_bytes) {
    const std::optional<std::size_t> got =
        file->Read(buffer, std::min(sizeof buffer, max_bytes - contents.size()));
    if (!got) return std::nullopt;
    if (*got == 0) break;
    contents.append(buffer, *got);
  }
  return contents;
}

}  // namespace rariduze
