#include "platform/dynamic_library.h"
#include "platform/wide_text_windows.h"
#include "platform/windows_api.h"

namespace rariduze {
namespace {

class WindowsLibrary : public DynamicLibrary {
 public:
  explicit WindowsLibrary(HMODULE module) : module_(module) {}
  ~WindowsLibrary() override { ::FreeLibrary(module_); }
  WindowsLibrary(const WindowsLibrary&) = delete;
  WindowsLibrary& operator=(const WindowsLibrary&) = delete;

  void* Symbol(const std::string& name) const override {
    return reinterpret_cast<void*>(::GetProcAddress(module_, name.c_str()));
  }

 private:
  HMODULE module_;
};

bool IsFullPath(const std::wstring& path) {
  const bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
  const bool unc = path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
  return drive || unc;
}

}  // namespace

std::unique_ptr<DynamicLibrary> LoadDynamicLibrary(const std::string& path, std::string* error,
                                                   bool* missing) {
  // Only the file named is loaded, never one found on the search path, where anybody who can
  // write to the current folder or to PATH could plant a library of the same name. Its own
  // dependencies come from its folder and the system's.
  const std::wstring wide = WidePath(path);
  if (!IsFullPath(wide)) {
    if (error != nullptr) *error = path + ": not a full path";
    if (missing != nullptr) *missing = false;
    return nullptr;
  }
  HMODULE module = ::LoadLibraryExW(
      wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr) {
    const DWORD code = ::GetLastError();
    if (error != nullptr) *error = path + ": " + SystemErrorText(code);
    // "The specified module could not be found" is also the answer for a library that is
    // there but needs one that is not: only the file's own absence counts as missing.
    const bool there = ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (there && code == ERROR_MOD_NOT_FOUND && error != nullptr) {
      *error = path + ": a library it needs is missing (" + SystemErrorText(code) + ")";
    }
    if (missing != nullptr) *missing = !there;
    return nullptr;
  }
  return std::make_unique<WindowsLibrary>(module);
}

std::string SharedLibraryFileName(const std::string& base_name) { return base_name + ".dll"; }

}  // namespace rariduze
