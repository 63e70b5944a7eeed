#include "unzip/library/zip_directory_end.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "unzip/library/zip_format.h"

namespace rariduze::unziplib {
namespace {

using namespace zipformat;

// The end record as it stands, before any ZIP64 values replace its fields.
struct EndRecord {
  std::uint64_t offset = 0;  // where the record starts in the file
  std::uint16_t disk = 0;
  std::uint16_t directory_disk = 0;
  std::uint16_t entries_here = 0;
  std::uint16_t entries = 0;
  std::uint32_t directory_size = 0;
  std::uint32_t directory_offset = 0;
};

EndRecord ParseEndRecord(const unsigned char* at, std::uint64_t offset) {
  FieldReader fields(at, kDirectoryEndSize);
  EndRecord record;
  record.offset = offset;
  fields.U32();
  record.disk = fields.U16();
  record.directory_disk = fields.U16();
  record.entries_here = fields.U16();
  record.entries = fields.U16();
  record.directory_size = fields.U32();
  record.directory_offset = fields.U32();
  return record;
}

// The last end record in the tail: one whose comment reaches exactly to the end of the file,
// else the last one whose comment fits (bytes after it are ignored).
std::optional<EndRecord> FindEndRecord(const std::vector<unsigned char>& tail,
                                       std::uint64_t tail_offset) {
  std::optional<EndRecord> fitting;
  for (std::size_t at = tail.size() - kDirectoryEndSize + 1; at-- > 0;) {
    FieldReader fields(tail.data() + at, kDirectoryEndSize);
    if (fields.U32() != kDirectoryEnd) continue;
    std::size_t comment = tail[at + 20] | (tail[at + 21] << 8);
    std::size_t after = tail.size() - at - kDirectoryEndSize;
    if (comment == after) return ParseEndRecord(tail.data() + at, tail_offset + at);
    if (comment < after && !fitting) fitting = ParseEndRecord(tail.data() + at, tail_offset + at);
  }
  return fitting;
}

// Takes a ZIP64 value where the end record's field is marked; a field that is not marked must
// agree with it.
template <typename Narrow>
bool Merge(Narrow narrow, Narrow mark, std::uint64_t wide, std::uint64_t* out) {
  if (narrow == mark) {
    *out = wide;
    return true;
  }
  *out = narrow;
  return narrow == wide;
}

bool Fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

}  // namespace

bool FindDirectoryEnd(ByteSource& source, DirectoryEnd* end, std::string* error) {
  const std::uint64_t size = source.Size();
  if (size < kDirectoryEndSize) return Fail(error, "not a zip archive (too short)");
  const std::size_t tail_size =
      static_cast<std::size_t>(std::min<std::uint64_t>(size, kDirectoryEndSize + kMaxComment));
  const std::uint64_t tail_offset = size - tail_size;
  std::vector<unsigned char> tail(tail_size);
  if (!source.ReadAt(tail_offset, tail.data(), tail.size())) {
    return Fail(error, "cannot read the archive");
  }
  std::optional<EndRecord> record = FindEndRecord(tail, tail_offset);
  if (!record) return Fail(error, "not a zip archive (no end of central directory)");

  std::uint64_t entry_count = record->entries;
  std::uint64_t directory_offset = record->directory_offset;
  std::uint64_t directory_size = record->directory_size;
  std::uint64_t directory_limit = record->offset;  // the directory ends before this
  bool several_disks =
      record->disk != 0 || record->directory_disk != 0 || record->entries_here != record->entries;

  // A ZIP64 locator right before the end record points to the ZIP64 end record.
  unsigned char locator[kZip64LocatorSize];
  if (record->offset >= kZip64LocatorSize &&
      source.ReadAt(record->offset - kZip64LocatorSize, locator, sizeof locator) &&
      FieldReader(locator, sizeof locator).U32() == kZip64Locator) {
    FieldReader fields(locator, sizeof locator);
    fields.U32();
    std::uint32_t zip64_disk = fields.U32();
    std::uint64_t zip64_offset = fields.U64();
    std::uint32_t disks = fields.U32();
    const std::uint64_t locator_offset = record->offset - kZip64LocatorSize;
    if (zip64_disk != 0 || disks > 1)
      return Fail(error, "archives on several disks are not supported");
    if (zip64_offset > locator_offset || locator_offset - zip64_offset < kZip64DirectoryEndSize) {
      return Fail(error, "the ZIP64 end record lies outside the archive");
    }
    unsigned char zip64[kZip64DirectoryEndSize];
    if (!source.ReadAt(zip64_offset, zip64, sizeof zip64)) {
      return Fail(error, "cannot read the archive");
    }
    FieldReader z(zip64, sizeof zip64);
    if (z.U32() != kZip64DirectoryEnd)
      return Fail(error, "no ZIP64 end record where the locator points");
    std::uint64_t record_size = z.U64();
    if (record_size < kZip64DirectoryEndSize - 12 ||
        record_size > locator_offset - zip64_offset - 12) {
      return Fail(error, "the ZIP64 end record's size is wrong");
    }
    z.U16();  // made by
    z.U16();  // needed to extract
    std::uint32_t disk = z.U32();
    std::uint32_t directory_disk = z.U32();
    std::uint64_t entries_here = z.U64();
    std::uint64_t entries = z.U64();
    std::uint64_t wide_size = z.U64();
    std::uint64_t wide_offset = z.U64();
    several_disks = disk != 0 || directory_disk != 0 || entries_here != entries;
    if (!Merge<std::uint16_t>(record->entries, kZip64Mark16, entries, &entry_count) ||
        !Merge<std::uint32_t>(record->directory_size, kZip64Mark32, wide_size, &directory_size) ||
        !Merge<std::uint32_t>(record->directory_offset, kZip64Mark32, wide_offset,
                              &directory_offset)) {
      return Fail(error, "the end records disagree");
    }
    directory_limit = zip64_offset;
  }
  if (several_disks) return Fail(error, "archives on several disks are not supported");
  if (directory_offset > directory_limit || directory_size > directory_limit - directory_offset) {
    return Fail(error, "the central directory lies outside the archive");
  }
  if (directory_size > kMaxDirectorySize) return Fail(error, "the central directory is too large");
  // Every directory record takes at least its fixed part.
  if (entry_count > directory_size / kCentralHeaderSize) {
    return Fail(error, "the archive claims more entries than its central directory holds");
  }
  end->entry_count = entry_count;
  end->directory_offset = directory_offset;
  end->directory_size = directory_size;
  return true;
}

}  // namespace rariduze::unziplib
