#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "platform/failure.h"
#include "platform/file_system.h"

namespace rariduze {
namespace {

RuntimeFailure FileFailure(const std::string& what, const std::string& path, int error) {
  int number = (error == ENOENT || error == ENOTDIR) ? kFailurePathNotFound : 75;
  return RuntimeFailure(number, what + " \"" + path + "\": " + std::strerror(error));
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Small writes are gathered and handed to the kernel in larger pieces: a download writes 2 KiB
// at a time, and a write that covers only part of a new page costs the kernel extra work.
// Larger pieces measured no faster.
constexpr std::size_t kWriteBufferSize = 16 * 1024;

class PosixWritableFile : public WritableFile {
 public:
  PosixWritableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixWritableFile() override {
    try {
      Close();
    } catch (const RuntimeFailure&) {
      // Nobody is left to tell; the bytes that did reach the file stay.
    }
  }

  void Write(const char* data, std::size_t size) override {
    if (fd_ < 0) throw RuntimeFailure(52, "Bad file name or number");
    if (size > kWriteBufferSize - held_) Flush();
    if (size >= kWriteBufferSize) {
      if (!WriteAll(fd_, data, size)) throw FileFailure("Cannot write", path_, errno);
      return;
    }
    std::memcpy(buffer_ + held_, data, size);
    held_ += size;
  }
  void Flush() override {
    if (held_ == 0) return;
    // Whatever fails to go out is dropped, so one failure is raised once.
    std::size_t size = std::exchange(held_, 0);
    if (!WriteAll(fd_, buffer_, size)) throw FileFailure("Cannot write", path_, errno);
  }
  void Seek(std::int64_t position) override {
    if (fd_ < 0) throw RuntimeFailure(52, "Bad file name or number");
    Flush();
    if (::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) {
      throw FileFailure("Cannot seek in", path_, errno);
    }
  }
  // The descriptor is closed even when the last bytes cannot be written; that failure is raised.
  void Close() override {
    if (fd_ < 0) return;
    bool written = true;
    int error = 0;
    if (held_ > 0) {
      written = WriteAll(fd_, buffer_, std::exchange(held_, 0));
      error = errno;
    }
    if (::close(std::exchange(fd_, -1)) != 0 && written && errno != EINTR) {
      written = false;
      error = errno;
    }
    if (!written) throw FileFailure("Cannot write", path_, error);
  }

 private:
  int fd_;
  std::string path_;
  char buffer_[kWriteBufferSize];
  std::size_t held_ = 0;  // bytes at the front of buffer_ not yet written
};

class PosixFileSystem : public FileSystem {
 public:
  bool Exists(const std::string& path) override {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
  }

  std::optional<std::int64_t> Length(const std::string& path) override {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
    return static_cast<std::int64_t>(st.st_size);
  }

  bool Remove(const std::string& path) override {
    if (path.empty()) return true;
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
  }

  bool RemoveEmptyFolder(const std::string& path) override {
    if (path.empty()) return false;
    return ::rmdir(path.c_str()) == 0 || errno == ENOENT;
  }

  std::optional<std::string> ReadPrefix(const std::string& path, std::size_t max_bytes) override {
    int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string contents;
    char buffer[8192];
    while (contents.size() < max_bytes) {
      std::size_t want = std::min(sizeof buffer, max_bytes - contents.size());
      ssize_t got = ::read(fd, buffer, want);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        ::close(fd);
        return std::nullopt;
      }
      if (got == 0) break;
      contents.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return contents;
  }

  std::unique_ptr<WritableFile> OpenForWriting(const std::string& path, bool truncate) override {
    if (path.empty())
      throw RuntimeFailure(kFailureFileNotFound, "Bad file name: the path is empty");
    int flags = O_RDWR | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : 0);
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) throw FileFailure("Cannot open", path, errno);
    return std::make_unique<PosixWritableFile>(fd, path);
  }

  void ReplaceContents(const std::string& path, const std::string& contents) override {
    // A symbolic link stays a link: what it leads to is rewritten.
    const std::string target = FollowLinks(path);
    // Written beside the old file and renamed over it, so a crash or a full disk never leaves
    // a half-written file under the real name.
    std::string temp = target + ".tmp-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
      // A folder that takes no new files may still hold a file that may be written.
      if (errno == EACCES || errno == EPERM || errno == EROFS) {
        RewriteInPlace(target, contents);
        return;
      }
      throw FileFailure("Cannot create a file beside", path, errno);
    }
    struct stat old {};
    mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, contents.data(), contents.size()) &&
              ::fsync(fd) == 0;
    int error = errno;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), target.c_str()) == 0) return;
    if (ok) error = errno;
    ::unlink(temp.c_str());
    // A folder with the sticky bit lets only a file's owner replace it.
    if (ok && (error == EACCES || error == EPERM)) {
      RewriteInPlace(target, contents);
      return;
    }
    throw FileFailure("Cannot write", path, error);
  }

 private:
  // The file a path leads to, through any symbolic links (a relative link counts from the
  // link's own folder); the path itself when it is no link.
  static std::string FollowLinks(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path current = path;
    for (int hops = 0; hops < 40; ++hops) {
      std::error_code error;
      if (!fs::is_symlink(fs::symlink_status(current, error))) return current.string();
      fs::path link = fs::read_symlink(current, error);
      if (error) return current.string();
      current = link.is_absolute() ? link : current.parent_path() / link;
    }
    return current.string();  // a loop: the write below fails and says so
  }

  // Overwrites the file where it is. Not all at once like a rename, so when the write fails
  // half-way the old contents are put back as far as they can be.
  static void RewriteInPlace(const std::string& path, const std::string& contents) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) throw FileFailure("Cannot write", path, errno);
    std::string old;
    char buffer[8192];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
      if (got > 0) old.append(buffer, static_cast<std::size_t>(got));
    }
    bool ok = ::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, contents.data(), contents.size()) &&
              ::ftruncate(fd, static_cast<off_t>(contents.size())) == 0 && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (!ok && got == 0 && ::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, old.data(), old.size())) {
      static_cast<void>(::ftruncate(fd, static_cast<off_t>(old.size())));
    }
    if (::close(fd) != 0 && ok) {
      ok = false;
      error = errno;
    }
    if (!ok) throw FileFailure("Cannot write", path, error);
  }
};

}  // namespace

FileSystem& FileSystem::Default() {
  static PosixFileSystem file_system;
  return file_system;
}

}  // namespace rariduze
