#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace rariduze {

// A file open for writing at chosen positions; it is closed when destroyed. Written bytes may
// be held in memory for a while: they are in the file after Flush, Seek or Close, and a failure
// to put them there is raised (RuntimeFailure) by whichever of those calls, or a later Write,
// meets it. Destruction puts them there too, but can tell nobody when that fails.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Writes every byte at the current position; raises a RuntimeFailure when it cannot.
  virtual void Write(const char* data, std::size_t size) = 0;
  // Puts every byte written so far in the file.
  virtual void Flush() {}
  virtual void Seek(std::int64_t position) = 0;
  virtual void Close() = 0;
};

// A file open for reading, from its first byte on; it is closed when destroyed.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // Copies up to capacity of the next bytes into buffer and says how many: 0 at the end,
  // nothing when reading failed.
  virtual std::optional<std::size_t> Read(char* buffer, std::size_t capacity) = 0;
};

// All file access of the program goes through this class, so that tests can put a double with
// injected faults in its place.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual bool Exists(const std::string& path) = 0;
  // Length in bytes; nothing when the file is missing or cannot be examined.
  virtual std::optional<std::int64_t> Length(const std::string& path) = 0;
  // True when the file is gone afterwards.
  virtual bool Remove(const std::string& path) = 0;
  // Removes a folder that holds nothing; one with anything in it stays. True when it is gone
  // afterwards.
  virtual bool RemoveEmptyFolder(const std::string& path) = 0;
  // At most max_bytes from the start of the file; nothing when it cannot be read.
  virtual std::optional<std::string> ReadPrefix(const std::string& path, std::size_t max_bytes) = 0;
  // The file for reading a piece at a time; nothing when it cannot be opened.
  virtual std::unique_ptr<ReadableFile> OpenForReading(const std::string& path) = 0;
  // Creates the file if missing (and empties it when truncate is set); raises a RuntimeFailure
  // when it cannot be opened.
  virtual std::unique_ptr<WritableFile> OpenForWriting(const std::string& path, bool truncate) = 0;
  // Replaces the whole file so that readers see either the old or the new contents, never a
  // part; raises a RuntimeFailure and leaves the old file when that cannot be done.
  virtual void ReplaceContents(const std::string& path, const std::string& contents) = 0;

  // The real file system of this machine.
  static FileSystem& Default();
};

// At most max_bytes from the start of file; nothing when file is null or reading fails.
std::optional<std::string> ReadPrefixOf(std::unique_ptr<ReadableFile> file, std::size_t max_bytes);

}  // namespace rariduze
