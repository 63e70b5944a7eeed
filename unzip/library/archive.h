#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

namespace rariduze::unziplib {

enum class EntryKind { kFile, kFolder, kSymlink };

// What the archive's central directory says about one entry.
struct ArchiveEntry {
  std::uint64_t index = 0;
  std::string name;  // UTF-8, with "\" turned into "/"
  EntryKind kind = EntryKind::kFile;
  std::uint64_t size = 0;
  std::uint64_t packed_size = 0;
  std::uint32_t crc = 0;
  std::uint16_t method = 0;  // the compression method's number in the zip format
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
  virtual ~EntryReader() = default;
  // Up to size bytes, never past the entry's declared size; 0 once the whole entry has been read
  // and checked; -1 with the reason in *error when the data is damaged.
  virtual std::int64_t Read(char* buffer, std::size_t size, std::string* error) = 0;
};

// A zip archive open for reading.
class Archive {
 public:
  virtual ~Archive() = default;

  virtual std::uint64_t EntryCount() const = 0;
  // False, with the reason in *error, when the entry's directory record cannot be read.
  virtual bool Entry(std::uint64_t index, ArchiveEntry* entry, std::string* error) const = 0;
  // password is used for encrypted entries only (nullptr: none known yet). Nothing, with the
  // problem and its reason, when the entry cannot be read.
  virtual std::unique_ptr<EntryReader> OpenEntry(const ArchiveEntry& entry, const char* password,
                                                 OpenProblem* problem, std::string* error) = 0;
};

// Opens an archive with the backend this library was built with. Nothing, with the reason in
// *error, when the file is missing or is no readable archive.
std::unique_ptr<Archive> OpenArchive(const std::string& path, std::string* error);
// The version of that backend's compression library, for the version record.
std::string CompressionLibraryVersion();

// The name of a compression method as listings show it ("Stored", "Deflated", ...).
std::string MethodName(std::uint16_t method);

// The Unix mode bits that an entry's "made by" system and external attributes carry, if any.
std::optional<std::uint32_t> UnixModeOf(std::uint8_t made_by_system, std::uint32_t attributes);
// Folder when the name ends in "/" or the mode says so; link when the mode says so.
EntryKind KindOf(const std::string& name, const std::optional<std::uint32_t>& unix_mode);

}  // namespace rariduze::unziplib
