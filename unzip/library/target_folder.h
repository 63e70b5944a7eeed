#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "unzip/library/entry_path.h"

namespace rariduze::unziplib {

enum class ItemKind { kFile, kFolder, kLink, kOther };

// Something that stands at a name already.
struct ExistingItem {
  ItemKind kind = ItemKind::kFile;
  std::time_t modified = 0;
};

// A file being written under a temporary name in its final folder. It reaches its final name
// only through Publish, complete; otherwise it is removed when the object goes.
class PendingFile {
 public:
  virtual ~PendingFile() = default;

  virtual bool Write(const char* data, std::size_t size, std::string* error) = 0;
  // Sets the permission bits (when given, less the user's umask, where the system keeps them)
  // and the modification time, and closes the file.
  virtual bool Finish(std::optional<std::uint32_t> permissions, std::time_t modified,
                      std::string* error) = 0;
  // Gives the file its final name; with replace unset an existing name is left alone and fails.
  virtual bool Publish(bool replace, std::string* error) = 0;
};

// The folder an extraction writes into. Every folder below it is reached one part at a time
// without following links, so no name and no link in an archive can lead a write outside it.
// One implementation per platform.
class TargetFolder {
 public:
  virtual ~TargetFolder() = default;

  // Why this system cannot, or must not, have path below the folder; nothing when it can.
  virtual std::optional<std::string> NameProblem(const PathParts& path) const = 0;
  // Whether symbolic links from archives are made here.
  virtual bool MakesLinks() const = 0;
  // Makes the folder at parts below the target (none: the target itself) and what is missing on
  // the way. False, with the reason, when a part is a link, no folder, or cannot be made.
  virtual bool MakeFolder(const PathParts& parts, std::string* error) = 0;
  // What stands at path, a link not followed; nothing when the name is free. Its folder must
  // have been made.
  virtual std::optional<ExistingItem> Existing(const PathParts& path) = 0;
  // A new file, or a symbolic link to target, that is to become path (its folder made).
  virtual std::unique_ptr<PendingFile> CreateFile(const PathParts& path, std::string* error) = 0;
  virtual std::unique_ptr<PendingFile> CreateLink(const PathParts& path, const std::string& target,
                                                  std::string* error) = 0;
};

// Opens the folder, creating it and its missing parents. Nothing, with the reason, on failure.
std::unique_ptr<TargetFolder> OpenTargetFolder(const std::string& path, std::string* error);

// Bytes that the user may still write on the file system that holds path, or would hold it
// once made; nothing when the system cannot tell.
std::optional<std::uint64_t> FreeSpaceFor(const std::string& path);

}  // namespace rariduze::unziplib
