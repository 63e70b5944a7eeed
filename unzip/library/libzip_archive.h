#pragma once

#include <memory>
#include <string>

#include "unzip/library/archive.h"

namespace rariduze::unziplib {

// Opens an archive through libzip. Nothing, with the reason in *error, when it cannot.
std::unique_ptr<Archive> OpenLibzipArchive(const std::string& path, std::string* error);

}  // namespace rariduze::unziplib
