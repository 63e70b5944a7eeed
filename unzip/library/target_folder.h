#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "unzip/library/entry_path.h"

namespace rariduze::unziplib {

// The folder an extraction writes into. Every folder below it is reached one part at a time
// without following symbolic links, so no name and no link in an archive can lead a write
// outside it.
class TargetFolder {
 public:
  // Opens the folder, creating it and its missing parents. Nothing, with the reason, on failure.
  static std::unique_ptr<TargetFolder> Open(const std::string& path, std::string* error);
  ~TargetFolder();
  TargetFolder(const TargetFolder&) = delete;
  TargetFolder& operator=(const TargetFolder&) = delete;

  // A descriptor of the folder at parts below the target (none: the target itself), made when
  // missing; it stays owned by this object. -1 with the reason when a part is a symbolic link,
  // no folder, or cannot be made.
  int Folder(const PathParts& parts, std::string* error);

 private:
  explicit TargetFolder(int root) : root_(root) {}
  void ForgetFolders();

  int root_;
  std::map<std::string, int> open_folders_;  // "a/b/" -> descriptor
};

// What stands at a name in a folder, without following a symbolic link; nothing when free.
std::optional<struct stat> ExistingAt(int folder, const std::string& name);

// A file being written under a temporary name in its final folder. It reaches its final name
// only through Publish, complete; otherwise it is removed when the object goes.
class PendingFile {
 public:
  static std::unique_ptr<PendingFile> CreateFile(int folder, std::string* error);
  static std::unique_ptr<PendingFile> CreateLink(int folder, const std::string& target,
                                                 std::string* error);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  bool Write(const char* data, std::size_t size, std::string* error);
  // Sets the permission bits (when given) and the modification time, and closes the file.
  bool Finish(std::optional<mode_t> mode, std::time_t modified, std::string* error);
  // Moves the file to name; with replace unset an existing name is left alone and fails.
  bool Publish(const std::string& name, bool replace, std::string* error);

 private:
  PendingFile(int folder, std::string temporary_name, int fd)
      : folder_(folder), temporary_name_(std::move(temporary_name)), fd_(fd) {}

  int folder_;
  std::string temporary_name_;
  int fd_;  // -1 for a link, or once closed
  bool published_ = false;
};

}  // namespace rariduze::unziplib
