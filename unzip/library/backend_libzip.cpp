// The library reads archives through libzip.
#include <zip.h>

#include "unzip/library/archive.h"
#include "unzip/library/libzip_archive.h"

namespace rariduze::unziplib {

std::unique_ptr<Archive> OpenArchive(const std::string& path, std::string* error) {
  return OpenLibzipArchive(path, error);
}

std::string CompressionLibraryVersion() { return zip_libzip_version(); }

}  // namespace rariduze::unziplib
