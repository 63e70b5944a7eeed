#include "fuzz/memory_file_system.h"

#include <algorithm>
#include <utility>

#include "platform/failure.h"

namespace rariduze::fuzzing {
namespace {

class MemoryFile : public WritableFile {
 public:
  explicit MemoryFile(std::string* contents) : contents_(contents) {}
  void Write(const char* data, std::size_t size) override {
    if (position_ + size > contents_->size()) contents_->resize(position_ + size);
    contents_->replace(position_, size, data, size);
    position_ += size;
  }
  void Seek(std::int64_t position) override { position_ = static_cast<std::size_t>(position); }
  void Close() override {}

 private:
  std::string* contents_;
  std::size_t position_ = 0;
};

// Reads a copy: a file written meanwhile is another.
class MemoryReader : public ReadableFile {
 public:
  explicit MemoryReader(std::string contents) : contents_(std::move(contents)) {}
  std::optional<std::size_t> Read(char* buffer, std::size_t capacity) override {
    const std::size_t count = std::min(capacity, contents_.size() - position_);
    contents_.copy(buffer, count, position_);
    position_ += count;
    return count;
  }

 private:
  std::string contents_;
  std::size_t position_ = 0;
};

}  // namespace

std::unique_ptr<ReadableFile> MemoryFileSystem::OpenForReading(const std::string& path) {
  auto it = files.find(path);
  if (it == files.end()) return nullptr;
  return std::make_unique<MemoryReader>(it->second);
}

std::optional<std::int64_t> MemoryFileSystem::Length(const std::string& path) {
  auto it = files.find(path);
  if (it == files.end()) return std::nullopt;
  return static_cast<std::int64_t>(it->second.size());
}

bool MemoryFileSystem::Remove(const std::string& path) {
  files.erase(path);
  return true;
}

std::optional<std::string> MemoryFileSystem::ReadPrefix(const std::string& path,
                                                        std::size_t max_bytes) {
  auto it = files.find(path);
  if (it == files.end()) return std::nullopt;
  return it->second.substr(0, max_bytes);
}

std::unique_ptr<WritableFile> MemoryFileSystem::OpenForWriting(const std::string& path,
                                                               bool truncate) {
  if (path.empty()) throw RuntimeFailure(kFailureFileNotFound);
  std::string& contents = files[path];
  if (truncate) contents.clear();
  return std::make_unique<MemoryFile>(&contents);
}

void MemoryFileSystem::ReplaceContents(const std::string& path, const std::string& contents) {
  files[path] = contents;
}

}  // namespace rariduze::fuzzing
