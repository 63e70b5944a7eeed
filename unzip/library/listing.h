#pragma once

#include "unzip/library/archive.h"
#include "unzip/library/host.h"

namespace rariduze::unziplib {

// Reports every entry, folders included, through the list callback. False, with a message,
// when an entry's record cannot be read.
bool ListArchive(const Archive& archive, const Host& host);

// The packed size as a percentage of the full size, rounded, 0 for an empty entry.
std::int32_t PackedPercent(std::uint64_t size, std::uint64_t packed_size);

}  // namespace rariduze::unziplib
