#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "unzip/library/archive.h"
#include "unzip/library/byte_source.h"
#include "unzip/library/traditional_encryption.h"

namespace rariduze::unziplib {

// Where an entry's data lies and what it must turn out to be.
struct EntryData {
  std::uint64_t offset = 0;       // first byte after any encryption header
  std::uint64_t packed_size = 0;  // bytes from offset on
  std::uint64_t size = 0;         // the uncompressed size the directory declares
  std::uint32_t crc = 0;
  bool deflated = false;  // else stored
  // A data descriptor follows the data; it must agree with the directory and end by
  // descriptor_limit. It repeats the whole packed size, encryption header included.
  bool descriptor = false;
  std::uint64_t descriptor_packed_size = 0;
  std::uint64_t descriptor_limit = 0;
};

// The entry's data, inflated when deflated, decrypted when a decryptor is given. It never hands
// out more than the declared size; at the end it checks that the data ends there, the CRC and
// the data descriptor. source must outlive it.
std::unique_ptr<EntryReader> OpenEntryStream(ByteSource& source, const EntryData& data,
                                             std::optional<TraditionalDecryptor> decryptor);

}  // namespace rariduze::unziplib
