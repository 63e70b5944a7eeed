#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "platform/buffered_writable_file.h"
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

class PosixWritableFile : public BufferedWritableFile {
 public:
  PosixWritableFile(int fd, std::string path) : BufferedWritableFile(std::move(path)), fd_(fd) {}
  ~PosixWritableFile() override { CloseQuietly(); }

 protected:
  bool IsOpen() const override { return fd_ >= 0; }
  bool WriteOut(const char* data, std::size_t size) override { return WriteAll(fd_, data, size); }
  bool SeekTo(std::int64_t position) override {
    return ::lseek(fd_, static_cast<off_t>(position), SEEK_SET) >= 0;
  }
  // An interrupted close has closed the descriptor all the same.
  bool CloseFile() override { return ::close(std::exchange(fd_, -1)) == 0 || errno == EINTR; }
  int LastError() const override { return errno; }
  RuntimeFailure Failure(const std::string& what, int error) const override {
    return FileFailure(what, path(), error);
  }

 private:
  int fd_;
};

class PosixReadableFile : public ReadableFile {
 public:
  explicit PosixReadableFile(int fd) : fd_(fd) {}
  ~PosixReadableFile() override { ::close(fd_); }
  PosixReadableFile(const PosixReadableFile&) = delete;
  PosixReadableFile& operator=(const PosixReadableFile&) = delete;

  std::optional<std::size_t> Read(char* buffer, std::size_t capacity) override {
    for (;;) {
      ssize_t got = ::read(fd_, buffer, capacity);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) return std::nullopt;
    }
  }

 private:
  int fd_;
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
    return ReadPrefixOf(OpenForReading(path), max_bytes);
  }

  std::unique_ptr<ReadableFile> OpenForReading(const std::string& path) override {
    int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixReadableFile>(fd);
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
