// The target folder on POSIX systems: descriptors of every folder reached, *at calls below them.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "unzip/library/target_folder.h"

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

// The process's umask, read without changing it where the system tells it.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      try {
        return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8)) & 0777;
      } catch (const std::exception&) {
        break;
      }
    }
  }
  mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

std::optional<struct stat> ExistingAt(int folder, const std::string& name) {
  struct stat st {};
  if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return st;
}

class PosixPendingFile : public PendingFile {
 public:
  // Takes over folder (a descriptor of its own) and fd (-1 for a link).
  PosixPendingFile(int folder, std::string temporary_name, std::string name, int fd, mode_t umask)
      : folder_(folder),
        temporary_name_(std::move(temporary_name)),
        name_(std::move(name)),
        fd_(fd),
        umask_(umask) {}
  ~PosixPendingFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!published_) ::unlinkat(folder_, temporary_name_.c_str(), 0);
    ::close(folder_);
  }
  PosixPendingFile(const PosixPendingFile&) = delete;
  PosixPendingFile& operator=(const PosixPendingFile&) = delete;

  bool Write(const char* data, std::size_t size, std::string* error) override;
  bool Finish(std::optional<std::uint32_t> permissions, std::time_t modified,
              std::string* error) override;
  bool Publish(bool replace, std::string* error) override;

 private:
  int folder_;
  std::string temporary_name_;
  std::string name_;
  int fd_;
  mode_t umask_;
  bool published_ = false;
};

bool PosixPendingFile::Write(const char* data, std::size_t size, std::string* error) {
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

bool PosixPendingFile::Finish(std::optional<std::uint32_t> permissions, std::time_t modified,
                              std::string* error) {
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
  // The archive's bits, but never more than the user lets new files have.
  if (permissions && ::fchmod(fd_, static_cast<mode_t>(*permissions & 0777 & ~umask_)) != 0) {
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

bool PosixPendingFile::Publish(bool replace, std::string* error) {
  int result;
  if (replace) {
    result = ::renameat(folder_, temporary_name_.c_str(), folder_, name_.c_str());
  } else {
    result =
        ::renameat2(folder_, temporary_name_.c_str(), folder_, name_.c_str(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
      // File systems without the flag: a link fails on an existing name just the same.
      result = ::linkat(folder_, temporary_name_.c_str(), folder_, name_.c_str(), 0);
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

class PosixTargetFolder : public TargetFolder {
 public:
  explicit PosixTargetFolder(int root) : root_(root), umask_(CurrentUmask()) {}
  ~PosixTargetFolder() override {
    ForgetFolders();
    ::close(root_);
  }
  PosixTargetFolder(const PosixTargetFolder&) = delete;
  PosixTargetFolder& operator=(const PosixTargetFolder&) = delete;

  std::optional<std::string> NameProblem(const PathParts& /*path*/) const override {
    return std::nullopt;
  }
  bool MakesLinks() const override { return true; }
  bool MakeFolder(const PathParts& parts, std::string* error) override {
    return Folder(parts, error) >= 0;
  }
  std::optional<ExistingItem> Existing(const PathParts& path) override;
  std::unique_ptr<PendingFile> CreateFile(const PathParts& path, std::string* error) override;
  std::unique_ptr<PendingFile> CreateLink(const PathParts& path, const std::string& target,
                                          std::string* error) override;

 private:
  // A descriptor of the folder at parts, made when missing; it stays owned by this object.
  // -1 with the reason when a part is a symbolic link, no folder, or cannot be made.
  int Folder(const PathParts& parts, std::string* error);
  // A descriptor of its own for the folder that holds path.
  int HoldingFolder(const PathParts& path, std::string* error);
  void ForgetFolders();

  int root_;
  mode_t umask_;
  std::map<std::string, int> open_folders_;  // "a/b/" -> descriptor
};

void PosixTargetFolder::ForgetFolders() {
  for (auto& [key, fd] : open_folders_) ::close(fd);
  open_folders_.clear();
}

int PosixTargetFolder::Folder(const PathParts& parts, std::string* error) {
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

int PosixTargetFolder::HoldingFolder(const PathParts& path, std::string* error) {
  PathParts parent(path.begin(), path.end() - 1);
  int folder = Folder(parent, error);
  if (folder < 0) return -1;
  int own = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
  if (own < 0) *error = "cannot open the folder: " + Reason(errno);
  return own;
}

std::optional<ExistingItem> PosixTargetFolder::Existing(const PathParts& path) {
  std::string ignored;
  PathParts parent(path.begin(), path.end() - 1);
  int folder = Folder(parent, &ignored);
  if (folder < 0) return std::nullopt;
  std::optional<struct stat> st = ExistingAt(folder, path.back());
  if (!st) return std::nullopt;
  ExistingItem item;
  item.kind = S_ISREG(st->st_mode)   ? ItemKind::kFile
              : S_ISDIR(st->st_mode) ? ItemKind::kFolder
              : S_ISLNK(st->st_mode) ? ItemKind::kLink
                                     : ItemKind::kOther;
  item.modified = st->st_mtime;
  return item;
}

std::unique_ptr<PendingFile> PosixTargetFolder::CreateFile(const PathParts& path,
                                                           std::string* error) {
  int folder = HoldingFolder(path, error);
  if (folder < 0) return nullptr;
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = TemporaryName();
    int fd =
        ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      return std::make_unique<PosixPendingFile>(folder, name, path.back(), fd, umask_);
    }
    if (errno != EEXIST) {
      *error = "cannot create a file: " + Reason(errno);
      ::close(folder);
      return nullptr;
    }
  }
  *error = "cannot find a free temporary name";
  ::close(folder);
  return nullptr;
}

std::unique_ptr<PendingFile> PosixTargetFolder::CreateLink(const PathParts& path,
                                                           const std::string& target,
                                                           std::string* error) {
  int folder = HoldingFolder(path, error);
  if (folder < 0) return nullptr;
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = TemporaryName();
    if (::symlinkat(target.c_str(), folder, name.c_str()) == 0) {
      return std::make_unique<PosixPendingFile>(folder, name, path.back(), -1, umask_);
    }
    if (errno != EEXIST) {
      *error = "cannot create a symbolic link: " + Reason(errno);
      ::close(folder);
      return nullptr;
    }
  }
  *error = "cannot find a free temporary name";
  ::close(folder);
  return nullptr;
}

}  // namespace

std::unique_ptr<TargetFolder> OpenTargetFolder(const std::string& path, std::string* error) {
  std::error_code ignored;
  std::filesystem::create_directories(path, ignored);
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open the target folder " + path + ": " + Reason(errno);
    return nullptr;
  }
  return std::make_unique<PosixTargetFolder>(fd);
}

std::optional<std::uint64_t> FreeSpaceFor(const std::string& path) {
  // The folder may not be there yet: its nearest existing parent tells the file system.
  std::error_code failed;
  std::filesystem::path at = std::filesystem::absolute(path, failed);
  if (failed) return std::nullopt;
  for (;;) {
    struct statvfs fs {};
    if (::statvfs(at.c_str(), &fs) == 0) {
      return static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_frsize);
    }
    if (errno != ENOENT || !at.has_relative_path()) return std::nullopt;
    at = at.parent_path();
  }
}

}  // namespace rariduze::unziplib
