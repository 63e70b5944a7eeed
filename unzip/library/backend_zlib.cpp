// The library reads archives with its own zip reader over zlib.
#include <zlib.h>

#include "unzip/library/archive.h"
#include "unzip/library/zip_reader.h"

namespace rariduze::unziplib {

std::unique_ptr<Archive> OpenArchive(const std::string& path, std::string* error) {
  return OpenZipReaderArchive(path, error);
}

std::string CompressionLibraryVersion() { return zlibVersion(); }

}  // namespace rariduze::unziplib
