#include "unzip/library/byte_source.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace rariduze::unziplib {
namespace {

// True when [offset, offset + size) lies inside total bytes, without overflowing.
bool Inside(std::uint64_t offset, std::size_t size, std::uint64_t total) {
  return offset <= total && size <= total - offset;
}

class FileSource : public ByteSource {
 public:
  FileSource(std::ifstream file, std::uint64_t size) : file_(std::move(file)), size_(size) {}

  std::uint64_t Size() const override { return size_; }

  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    if (!Inside(offset, size, size_)) return false;
    if (size == 0) return true;
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(offset));
    file_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
    return file_.good() && static_cast<std::size_t>(file_.gcount()) == size;
  }

 private:
  std::ifstream file_;
  std::uint64_t size_;
};

class HeldBytes : public ByteSource {
 public:
  explicit HeldBytes(std::string bytes) : bytes_(std::move(bytes)) {}

  std::uint64_t Size() const override { return bytes_.size(); }

  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    if (!Inside(offset, size, bytes_.size())) return false;
    if (size > 0) std::memcpy(buffer, bytes_.data() + offset, size);
    return true;
  }

 private:
  std::string bytes_;
};

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string& path, std::string* error) {
  // The path is UTF-8; a path object takes it as such on every system.
  std::ifstream file(std::filesystem::path(std::u8string(path.begin(), path.end())),
                     std::ios::binary);
  if (!file) {
    *error = "cannot open the file";
    return nullptr;
  }
  file.seekg(0, std::ios::end);
  std::streamoff end = file.tellg();
  if (!file || end < 0) {
    *error = "cannot read the file";
    return nullptr;
  }
  return std::make_unique<FileSource>(std::move(file), static_cast<std::uint64_t>(end));
}

std::unique_ptr<ByteSource> MemorySource(std::string bytes) {
  return std::make_unique<HeldBytes>(std::move(bytes));
}

}  // namespace rariduze::unziplib
