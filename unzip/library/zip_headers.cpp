#include "unzip/library/zip_headers.h"

#include <zlib.h>

#include <vector>

namespace rariduze::unziplib {
namespace {

using namespace zipformat;

// Calls visit(tag, fields of the block) for each block of an extra field, up to one that runs
// past the end. False when one does; fewer than four bytes after the last block are padding.
template <typename Visit>
bool ForEachExtra(const unsigned char* data, std::size_t size, Visit visit) {
  FieldReader extra(data, size);
  while (extra.left() >= 4) {
    std::uint16_t tag = extra.U16();
    std::uint16_t length = extra.U16();
    const unsigned char* block = extra.Bytes(length);
    if (block == nullptr) return false;
    FieldReader fields(block, length);
    visit(tag, fields);
  }
  return true;
}

// Replaces each marked value by the next one of a ZIP64 block, in the format's order; false
// when the block is too short for a value that is marked.
bool TakeZip64(FieldReader& fields, std::uint64_t* size, std::uint64_t* packed_size,
               std::uint64_t* local_offset, std::uint32_t* disk) {
  if (size != nullptr && *size == kZip64Mark32) *size = fields.U64();
  if (packed_size != nullptr && *packed_size == kZip64Mark32) *packed_size = fields.U64();
  if (local_offset != nullptr && *local_offset == kZip64Mark32) *local_offset = fields.U64();
  if (disk != nullptr && *disk == kZip64Mark16) *disk = fields.U32();
  return fields.ok();
}

}  // namespace

bool ReadCentralRecord(FieldReader& fields, CentralRecord* record, std::string* error) {
  if (fields.left() < kCentralHeaderSize || fields.U32() != kCentralHeader) {
    *error = "a central directory record is missing or damaged";
    return false;
  }
  fields.U8();  // version of the writer
  record->made_by_system = fields.U8();
  fields.U16();  // needed to extract
  record->flags = fields.U16();
  record->method = fields.U16();
  record->dos_time = fields.U16();
  record->dos_date = fields.U16();
  record->crc = fields.U32();
  record->packed_size = fields.U32();
  record->size = fields.U32();
  std::uint16_t name_length = fields.U16();
  std::uint16_t extra_length = fields.U16();
  std::uint16_t comment_length = fields.U16();
  std::uint32_t disk = fields.U16();
  fields.U16();  // internal attributes
  record->external_attributes = fields.U32();
  record->local_offset = fields.U32();
  const unsigned char* name = fields.Bytes(name_length);
  const unsigned char* extra = fields.Bytes(extra_length);
  fields.Bytes(comment_length);
  if (!fields.ok()) {
    *error = "a central directory record runs past the directory's end";
    return false;
  }
  record->stored_name.assign(reinterpret_cast<const char*>(name), name_length);
  record->unicode_path.clear();
  record->aes = false;

  bool zip64_complete = true;
  bool zip64_seen = false;
  bool well_formed = ForEachExtra(extra, extra_length, [&](std::uint16_t tag, FieldReader& block) {
    if (tag == kExtraZip64 && !zip64_seen) {
      zip64_seen = true;
      zip64_complete =
          TakeZip64(block, &record->size, &record->packed_size, &record->local_offset, &disk);
    } else if (tag == kExtraUnicodePath) {
      std::uint8_t version = block.U8();
      std::uint32_t name_crc = block.U32();
      std::size_t length = block.left();
      const unsigned char* path = block.Bytes(length);
      uLong crc = crc32(0L, name, name_length);
      if (block.ok() && version == 1 && name_crc == crc && length > 0) {
        record->unicode_path.assign(reinterpret_cast<const char*>(path), length);
      }
    } else if (tag == kExtraAes) {
      block.U16();  // vendor version
      block.U16();  // vendor id
      block.U8();   // strength
      std::uint16_t method = block.U16();
      if (block.ok() && record->method == kMethodAes) {
        record->aes = true;
        record->method = method;
      }
    }
  });
  if (!well_formed) {
    *error = "a central directory record's extra field is damaged";
    return false;
  }
  if (record->method == kMethodAes && !record->aes) {
    *error = "a central directory record names AES encryption but lacks its extra field";
    return false;
  }
  // Marked values must come from a ZIP64 block.
  if (!zip64_complete || record->size == kZip64Mark32 || record->packed_size == kZip64Mark32 ||
      record->local_offset == kZip64Mark32 || disk == kZip64Mark16) {
    if (!zip64_seen || !zip64_complete) {
      *error = "a central directory record lacks its ZIP64 values";
      return false;
    }
  }
  if (disk != 0) {
    *error = "archives on several disks are not supported";
    return false;
  }
  return true;
}

bool ReadLocalHeader(ByteSource& source, std::uint64_t offset, std::uint64_t limit,
                     LocalHeader* header, std::string* error) {
  unsigned char fixed[kLocalHeaderSize];
  if (offset > limit || limit - offset < kLocalHeaderSize ||
      !source.ReadAt(offset, fixed, sizeof fixed)) {
    *error = "the entry's local header lies outside the archive";
    return false;
  }
  FieldReader fields(fixed, sizeof fixed);
  if (fields.U32() != kLocalHeader) {
    *error = "no local header where the directory points";
    return false;
  }
  fields.U16();  // needed to extract
  header->flags = fields.U16();
  header->method = fields.U16();
  header->dos_time = fields.U16();
  fields.U16();  // date
  header->crc = fields.U32();
  std::uint64_t packed_size = fields.U32();
  std::uint64_t size = fields.U32();
  std::uint16_t name_length = fields.U16();
  std::uint16_t extra_length = fields.U16();
  std::uint64_t after = offset + kLocalHeaderSize;
  if (limit - after < static_cast<std::uint64_t>(name_length) + extra_length) {
    *error = "the entry's local header runs into the central directory";
    return false;
  }
  header->data_offset = after + name_length + extra_length;
  std::vector<unsigned char> extra(extra_length);
  if (!source.ReadAt(after + name_length, extra.data(), extra.size())) {
    *error = "cannot read the archive";
    return false;
  }
  bool zip64_seen = false;
  // Some writers pad the local extra field; what does not parse is passed over.
  ForEachExtra(extra.data(), extra.size(), [&](std::uint16_t tag, FieldReader& block) {
    if (tag != kExtraZip64 || zip64_seen) return;
    zip64_seen = true;
    // A local ZIP64 block holds both sizes whenever either is marked.
    if (size == kZip64Mark32 || packed_size == kZip64Mark32) {
      std::uint64_t wide_size = block.U64();
      std::uint64_t wide_packed = block.U64();
      if (block.ok()) {
        size = wide_size;
        packed_size = wide_packed;
      }
    }
  });
  header->size.reset();
  header->packed_size.reset();
  if (size != kZip64Mark32) header->size = size;
  if (packed_size != kZip64Mark32) header->packed_size = packed_size;
  return true;
}

}  // namespace rariduze::unziplib
