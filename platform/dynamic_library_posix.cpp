#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>

#include "platform/dynamic_library.h"

namespace rariduze {
namespace {

class PosixLibrary : public DynamicLibrary {
 public:
  explicit PosixLibrary(void* handle) : handle_(handle) {}
  ~PosixLibrary() override { ::dlclose(handle_); }
  PosixLibrary(const PosixLibrary&) = delete;
  PosixLibrary& operator=(const PosixLibrary&) = delete;

  void* Symbol(const std::string& name) const override { return ::dlsym(handle_, name.c_str()); }

 private:
  void* handle_;
};

}  // namespace

std::unique_ptr<DynamicLibrary> LoadDynamicLibrary(const std::string& path, std::string* error,
                                                   bool* missing) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = ::dlerror();
    if (error != nullptr) *error = reason != nullptr ? reason : "cannot be loaded";
    if (missing != nullptr) *missing = ::access(path.c_str(), F_OK) != 0 && errno == ENOENT;
    return nullptr;
  }
  return std::make_unique<PosixLibrary>(handle);
}

std::string SharedLibraryFileName(const std::string& base_name) {
  return "lib" + base_name + ".so";
}

}  // namespace rariduze
