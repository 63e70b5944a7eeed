// Finding and loading the unzip library: from the program's own folder only, once per path.
#include "unzip/unzip_library_loader.h"

#include <map>
#include <memory>

#include "platform/dynamic_library.h"
#include "platform/failure.h"
#include "platform/system_paths.h"
#include "unzip/unzip_binding.h"

namespace rariduze::mUnzip {
namespace {

std::string library_directory;

// Loaded libraries stay loaded for the life of the process, one per path.
std::map<std::string, std::unique_ptr<DynamicLibrary>>& LoadedLibraries() {
  static auto* loaded = new std::map<std::string, std::unique_ptr<DynamicLibrary>>();
  return *loaded;
}

// text without prefix, when it begins with it.
std::string AfterPrefix(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0 ? text.substr(prefix.size()) : text;
}

}  // namespace

void SetLibraryDirectory(const std::string& folder) { library_directory = folder; }

std::string LibraryPath() {
  std::string file = SharedLibraryFileName(kLibraryName);
  std::optional<std::string> folder = library_directory;
  if (library_directory.empty()) folder = KnownExecutableDirectory();
  // Never a guess such as the working folder: a library planted there would run as ours.
  if (!folder || folder->empty()) {
    throw RuntimeFailure(kFailureFileNotFound,
                         "File not found: " + file + " (the program's own folder cannot be found)");
  }
  if (folder->back() != '/' && folder->back() != PathSeparator()) *folder += PathSeparator();
  return *folder + file;
}

void* EntryPoint(const std::string& name) {
  std::string path = LibraryPath();
  auto& loaded = LoadedLibraries();
  auto found = loaded.find(path);
  if (found == loaded.end()) {
    std::string reason;
    bool missing = false;
    std::unique_ptr<DynamicLibrary> library = LoadDynamicLibrary(path, &reason, &missing);
    if (!library) {
      if (missing) throw RuntimeFailure(kFailureFileNotFound, "File not found: " + path);
      throw RuntimeFailure(kFailureLibraryNotLoaded, "Error in loading library: " + reason);
    }
    found = loaded.emplace(path, std::move(library)).first;
  }
  void* symbol = found->second->Symbol(name);
  if (symbol == nullptr) {
    throw RuntimeFailure(kFailureEntryPointMissing,
                         "Can't find entry point " + name + " in " + path);
  }
  return symbol;
}

std::string LibraryProblem() {
  std::string path = SharedLibraryFileName(kLibraryName);
  try {
    path = LibraryPath();
    for (const char* name : {"Wiz_SingleEntryUnzip", "UzpVersion2"}) EntryPoint(name);
    return {};
  } catch (const RuntimeFailure& failure) {
    const std::string library = "the unzip library \"" + path + "\"";
    switch (failure.number()) {
      case kFailureFileNotFound:
        return library + " is missing.";
      case kFailureLibraryNotLoaded:
        // The system's reason often names the file again.
        return library + " could not be loaded: " +
               AfterPrefix(AfterPrefix(failure.description(), "Error in loading library: "),
                           path + ": ") +
               ".";
      default:
        return library + " could not be used: " + failure.description() + ".";
    }
  }
}

}  // namespace rariduze::mUnzip
