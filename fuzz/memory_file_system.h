#pragma once

#include <map>
#include <string>

#include "platform/file_system.h"

namespace rariduze::fuzzing {

// Files held in memory, so that a fuzz run never touches the disk.
class MemoryFileSystem : public FileSystem {
 public:
  std::map<std::string, std::string> files;

  bool Exists(const std::string& path) override { return files.count(path) != 0; }
  std::optional<std::int64_t> Length(const std::string& path) override;
  bool Remove(const std::string& path) override;
  // Only files are held: no folder is ever there.
  bool RemoveEmptyFolder(const std::string&) override { return true; }
  std::optional<std::string> ReadPrefix(const std::string& path, std::size_t max_bytes) override;
  std::unique_ptr<ReadableFile> OpenForReading(const std::string& path) override;
  std::unique_ptr<WritableFile> OpenForWriting(const std::string& path, bool truncate) override;
  void ReplaceContents(const std::string& path, const std::string& contents) override;
};

}  // namespace rariduze::fuzzing
