#pragma once

#include <memory>
#include <string>

#include "unzip/library/archive.h"
#include "unzip/library/byte_source.h"

namespace rariduze::unziplib {

// Opens a zip archive with this library's own reader (stored and deflated entries, ZIP64,
// data descriptors, traditional encryption). Nothing, with the reason in *error, when the file
// cannot be read or its central directory is damaged.
std::unique_ptr<Archive> OpenZipReaderArchive(const std::string& path, std::string* error);
std::unique_ptr<Archive> OpenZipReaderArchive(std::unique_ptr<ByteSource> source,
                                              std::string* error);

}  // namespace rariduze::unziplib
