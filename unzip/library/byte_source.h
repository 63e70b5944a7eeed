#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace rariduze::unziplib {

// The bytes of an archive, read at any offset.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Exactly size bytes from offset; false when they are not all there or cannot be read.
  virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) = 0;
};

// A file, read in place. Nothing, with the reason in *error, when it cannot be opened.
std::unique_ptr<ByteSource> OpenFileSource(const std::string& path, std::string* error);
// Bytes held in memory.
std::unique_ptr<ByteSource> MemorySource(std::string bytes);

}  // namespace rariduze::unziplib
