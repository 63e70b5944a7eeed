#include "unzip/library/target_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace rariduze::unziplib {
namespace {

// Open folder descriptors kept between entries; archives list their files folder by folder.
constexpr std::size_t kMaxOpenFolders = 256;
// Deeper paths are refused rather than walked.
constexpr std::size_t kMaxDepth = 200;

std::string Reason(int error) { return std::strerror(error); }

std::string TemporaryName() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  char text[32];
  std::snprintf(text, sizeof text, ".rzx-%016llx.part", static_cast<unsigned long long>(random()));
  return text;
}

}  // namespace

std::unique_ptr<TargetFolder> TargetFolder::Open(const std::string& path, std::string* error) {
  std::error_code ignored;
  std::filesystem::create_directories(path, ignored);
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open the target folder " + path + ": " + Reason(errno);
    return nullptr;
  }
  return std::unique_ptr<TargetFolder>(new TargetFolder(fd));
}

TargetFolder::~TargetFolder() {
  ForgetFolders();
  ::close(root_);
}

void TargetFolder::ForgetFolders() {
  for (auto& [key, fd] : open_folders_) ::close(fd);
  open_folders_.clear();
}

int TargetFolder::Folder(const PathParts& parts, std::string* error) {
  if (parts.size() > kMaxDepth) {
    *error = "folders nested too deeply";
    return -1;
  }
  if (open_folders_.size() + parts.size() > kMaxOpenFolders) ForgetFolders();
  int fd = root_;
  std::string key;
  for (const std::string& part : parts) {
    key += part;
    key += '/';
    auto known = open_folders_.find(key);
    if (known != open_folders_.end()) {
      fd = known->second;
      continue;
    }
    if (::mkdirat(fd, part.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = "cannot create the folder " + key + ": " + Reason(errno);
      return -1;
    }
    int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      int why = errno;
      std::optional<struct stat> there = ExistingAt(fd, part);
      if (there && S_ISLNK(there->st_mode)) {
        *error = key + " is a symbolic link; nothing is written through it";
      } else if (there && !S_ISDIR(there->st_mode)) {
        *error = key + " is a file, not a folder";
      } else {
        *error = "cannot open the folder " + key + ": " + Reason(why);
      }
      return -1;
    }
    open_folders_.emplace(key, next);
    fd = next;
  }
  return fd;
}

std::optional<struct stat> ExistingAt(int folder, const std::string& name) {
  struct stat st {};
  if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return st;
}

std::unique_ptr<PendingFile> PendingFile::CreateFile(int folder, std::string* error) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = TemporaryName();
    int fd =
        ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return std::unique_ptr<PendingFile>(new PendingFile(folder, name, fd));
    if (errno != EEXIST) {
      *error = "cannot create a file: " + Reason(errno);
      return nullptr;
    }
  }
  *error = "cannot find a free temporary name";
  return nullptr;
}

std::unique_ptr<PendingFile> PendingFile::CreateLink(int folder, const std::string& target,
                                                     std::string* error) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = TemporaryName();
    if (::symlinkat(target.c_str(), folder, name.c_str()) == 0) {
      return std::unique_ptr<PendingFile>(new PendingFile(folder, name, -1));
    }
    if (errno != EEXIST) {
      *error = "cannot create a symbolic link: " + Reason(errno);
      return nullptr;
    }
  }
  *error = "cannot find a free temporary name";
  return nullptr;
}

PendingFile::~PendingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!published_) ::unlinkat(folder_, temporary_name_.c_str(), 0);
}

bool PendingFile::Write(const char* data, std::size_t size, std::string* error) {
  while (size > 0) {
    ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = "cannot write: " + Reason(errno);
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool PendingFile::Finish(std::optional<mode_t> mode, std::time_t modified, std::string* error) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_NOW;
  times[1].tv_sec = modified;
  times[1].tv_nsec = 0;
  if (fd_ < 0) {
    // A link: its own time, never its target's.
    ::utimensat(folder_, temporary_name_.c_str(), times, AT_SYMLINK_NOFOLLOW);
    return true;
  }
  if (mode && ::fchmod(fd_, *mode) != 0) {
    *error = "cannot set the permissions: " + Reason(errno);
    return false;
  }
  ::futimens(fd_, times);
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    *error = "cannot write: " + Reason(errno);
    return false;
  }
  return true;
}

bool PendingFile::Publish(const std::string& name, bool replace, std::string* error) {
  int result;
  if (replace) {
    result = ::renameat(folder_, temporary_name_.c_str(), folder_, name.c_str());
  } else {
    result = ::renameat2(folder_, temporary_name_.c_str(), folder_, name.c_str(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
      // File systems without the flag: a link fails on an existing name just the same.
      result = ::linkat(folder_, temporary_name_.c_str(), folder_, name.c_str(), 0);
      if (result == 0) ::unlinkat(folder_, temporary_name_.c_str(), 0);
    }
  }
  if (result != 0) {
    *error = errno == EEXIST                         ? "a file of that name appeared meanwhile"
             : errno == EISDIR || errno == ENOTEMPTY ? "a folder of that name exists"
                                                     : "cannot rename: " + Reason(errno);
    return false;
  }
  published_ = true;
  return true;
}

}  // namespace rariduze::unziplib
