#include "signing/byte_source.h"

#include <exception>
#include <filesystem>
#include <string_view>

namespace rariduze {
namespace {

// From UTF-8, so that a Windows build opens the same name as the text says; nothing when the
// text is not UTF-8 there (such a name cannot be opened).
std::optional<std::filesystem::path> PathOf(const std::string& utf8) {
  try {
    return std::filesystem::path(
        std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

FileByteSource::FileByteSource(const std::string& path) {
  if (std::optional<std::filesystem::path> native = PathOf(path)) {
    stream_.open(*native, std::ios::in | std::ios::binary);
  }
}

std::optional<std::size_t> FileByteSource::Read(char* buffer, std::size_t capacity) {
  if (!stream_.is_open() || stream_.bad()) return std::nullopt;
  if (stream_.eof()) return 0;
  stream_.read(buffer, static_cast<std::streamsize>(capacity));
  // A short read sets fail and eof together; fail alone, or bad, is a read error.
  if (stream_.bad() || (stream_.fail() && !stream_.eof())) return std::nullopt;
  return static_cast<std::size_t>(stream_.gcount());
}

BoundedFile ReadFileUpTo(const std::string& path, std::size_t max_bytes) {
  BoundedFile result;
  FileByteSource source(path);
  if (!source.opened()) return result;
  std::string bytes(max_bytes + 1, '\0');
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    std::optional<std::size_t> count = source.Read(bytes.data() + filled, bytes.size() - filled);
    if (!count) return result;
    if (*count == 0) break;
    filled += *count;
  }
  if (filled > max_bytes) {
    result.outcome = BoundedFile::Outcome::kTooLarge;
    return result;
  }
  bytes.resize(filled);
  result.outcome = BoundedFile::Outcome::kRead;
  result.bytes = std::move(bytes);
  return result;
}

}  // namespace rariduze
