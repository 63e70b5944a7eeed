#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

struct zip;
struct zip_file;

namespace rariduze::unziplib {

enum class EntryKind { kFile, kFolder, kSymlink };

// What the archive's central directory says about one entry.
struct ArchiveEntry {
  std::uint64_t index = 0;
  std::string name;  // as stored, with "\" turned into "/"
  EntryKind kind = EntryKind::kFile;
  std::uint64_t size = 0;
  std::uint64_t packed_size = 0;
  std::uint32_t crc = 0;
  std::uint16_t method = 0;
  bool encrypted = false;
  std::time_t modified = 0;
  // Unix file type and permission bits, when the archive was made on a Unix system and kept them.
  std::optional<std::uint32_t> unix_mode;
};

// Why an entry could not be opened for reading.
enum class OpenProblem { kNone, kNeedsPassword, kWrongPassword, kUnsupported, kDamaged };

// The uncompressed data of one entry. Reading checks the size and the CRC at the end.
class EntryReader {
 public:
  EntryReader(zip_file* file, std::uint64_t expected_size);
  ~EntryReader();
  EntryReader(const EntryReader&) = delete;
  EntryReader& operator=(const EntryReader&) = delete;

  // Up to size bytes; 0 once the whole entry has been read and checked; -1 with the reason in
  // *error when the data is damaged.
  std::int64_t Read(char* buffer, std::size_t size, std::string* error);

 private:
  zip_file* file_;
  std::uint64_t expected_size_;
  std::uint64_t read_ = 0;
};

// A zip archive open for reading.
class Archive {
 public:
  // Nothing, with the reason in *error, when the file is missing or is no readable archive.
  static std::unique_ptr<Archive> Open(const std::string& path, std::string* error);
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  std::uint64_t EntryCount() const { return count_; }
  // False, with the reason in *error, when the entry's directory record cannot be read.
  bool Entry(std::uint64_t index, ArchiveEntry* entry, std::string* error) const;
  // password is used for encrypted entries only (nullptr: none known yet).
  std::unique_ptr<EntryReader> OpenEntry(const ArchiveEntry& entry, const char* password,
                                         OpenProblem* problem, std::string* error);

 private:
  explicit Archive(zip* archive);
  zip* archive_;
  std::uint64_t count_;
};

// The name of a compression method as listings show it ("Stored", "Deflated", ...).
std::string MethodName(std::uint16_t method);

}  // namespace rariduze::unziplib
