#pragma once

#include <string>

namespace rariduze::mUnzip {

// The address of the unzip library's entry point name, loading the library from LibraryPath
// on first use; it stays loaded for the life of the process. Raises RuntimeFailure 53 when the
// library is not there, 48 when it cannot be loaded and 453 when it lacks the entry point.
void* EntryPoint(const std::string& name);

}  // namespace rariduze::mUnzip
