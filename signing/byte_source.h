#pragma once

#include <cstddef>
#include <fstream>
#include <optional>
#include <string>

namespace rariduze {

// The bytes of signed data, handed out in order a piece at a time, so that a large file is
// checked without being held in memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to capacity of the next bytes into buffer and says how many: 0 at the end,
  // nothing when reading failed.
  virtual std::optional<std::size_t> Read(char* buffer, std::size_t capacity) = 0;
};

// A file's bytes. The path is UTF-8 on every system.
class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(const std::string& path);
  bool opened() const { return stream_.is_open(); }
  std::optional<std::size_t> Read(char* buffer, std::size_t capacity) override;

 private:
  std::ifstream stream_;
};

// A small file read whole, but never more than max_bytes of it: a larger one (or an endless
// one) is refused after max_bytes + 1 bytes.
struct BoundedFile {
  enum class Outcome { kRead, kUnreadable, kTooLarge };
  Outcome outcome = Outcome::kUnreadable;
  std::string bytes;  // what was read, when kRead
};
BoundedFile ReadFileUpTo(const std::string& path, std::size_t max_bytes);

}  // namespace rariduze
