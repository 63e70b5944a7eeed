#pragma once

#include <memory>
#include <string>

namespace rariduze {

// A shared library loaded at run time; it stays loaded while the object lives.
class DynamicLibrary {
 public:
  virtual ~DynamicLibrary() = default;
  // The address of an exported function or variable; nullptr when the library has none.
  virtual void* Symbol(const std::string& name) const = 0;
};

// Loads the library file at path. Nothing, with the reason in *error, when it cannot; then
// *missing (when given) tells whether the file itself is not there, as opposed to a file that
// is there but cannot be loaded (damaged, for another system, or lacking a library it needs).
std::unique_ptr<DynamicLibrary> LoadDynamicLibrary(const std::string& path, std::string* error,
                                                   bool* missing = nullptr);

// The file name this platform gives the shared library called base_name.
std::string SharedLibraryFileName(const std::string& base_name);

}  // namespace rariduze
