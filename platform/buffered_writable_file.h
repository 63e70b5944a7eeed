#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/failure.h"
#include "platform/file_system.h"

namespace rariduze {

// Small writes are gathered and handed to the system in larger pieces: a download writes 2 KiB
// at a time, and a write that covers only part of a new page costs the kernel extra work.
// Larger pieces measured no faster.
inline constexpr std::size_t kWriteBufferSize = 16 * 1024;

// The gathering of writes that every system's file shares; a backend adds the calls of its
// own system. A failure is raised once: whatever failed to go out is dropped. A backend's
// destructor calls CloseQuietly, since the base cannot reach the backend's calls any more.
class BufferedWritableFile : public WritableFile {
 public:
  explicit BufferedWritableFile(std::string path) : path_(std::move(path)) {}

  void Write(const char* data, std::size_t size) override;
  void Flush() override;
  void Seek(std::int64_t position) override;
  // The file is closed even when the last bytes cannot be written; that failure is raised.
  void Close() override;

 protected:
  // The system's side. Each false leaves its reason for LastError.
  virtual bool IsOpen() const = 0;
  virtual bool WriteOut(const char* data, std::size_t size) = 0;
  virtual bool SeekTo(std::int64_t position) = 0;
  virtual bool CloseFile() = 0;
  virtual int LastError() const = 0;
  // The failure to raise for what went wrong with the file, from an error of LastError.
  virtual RuntimeFailure Failure(const std::string& what, int error) const = 0;

  void CloseQuietly() noexcept;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  char buffer_[kWriteBufferSize];
  std::size_t held_ = 0;  // bytes at the front of buffer_ not yet written
};

}  // namespace rariduze
