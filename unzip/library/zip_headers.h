#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "unzip/library/byte_source.h"
#include "unzip/library/zip_format.h"

namespace rariduze::unziplib {

// One record of the central directory, with its ZIP64 values resolved.
struct CentralRecord {
  std::uint8_t made_by_system = 0;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;  // for AES entries the method inside the encryption
  std::uint16_t dos_time = 0;
  std::uint16_t dos_date = 0;
  std::uint32_t crc = 0;
  std::uint32_t external_attributes = 0;
  std::uint64_t packed_size = 0;
  std::uint64_t size = 0;
  std::uint64_t local_offset = 0;
  bool aes = false;
  std::string stored_name;   // the name's bytes as stored
  std::string unicode_path;  // from a Unicode path extra field whose check matches the name
};

// Reads the directory record at the reader's position and steps over it. False, with the
// reason in *error, when it is cut short, has no signature or lacks a ZIP64 value it needs.
bool ReadCentralRecord(zipformat::FieldReader& fields, CentralRecord* record, std::string* error);

// What an entry's local header says, and where its data starts.
struct LocalHeader {
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint16_t dos_time = 0;
  std::uint32_t crc = 0;
  std::optional<std::uint64_t> packed_size;  // nothing when marked for ZIP64 without the value
  std::optional<std::uint64_t> size;
  std::uint64_t data_offset = 0;
};

// Reads the local header at offset; it and its name and extra field must end by limit. False,
// with the reason in *error, when they do not or there is no local header there.
bool ReadLocalHeader(ByteSource& source, std::uint64_t offset, std::uint64_t limit,
                     LocalHeader* header, std::string* error);

}  // namespace rariduze::unziplib
