#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/run_directory.h"

namespace rariduze {
namespace {

bool Gone(int result) { return result == 0 || errno == ENOENT; }

// Deletes what the folder open as fd holds and closes fd; false when anything stays. Only
// folders on device are entered: one of another device is a mount point, and what is mounted
// there is not this run's.
bool EmptyFolder(int fd, dev_t device) {
  DIR* folder = ::fdopendir(fd);
  if (folder == nullptr) {
    ::close(fd);
    return false;
  }
  // Names first, then the deletions: a folder that changes while it is read may show a name
  // twice or not at all.
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  const int at = ::dirfd(folder);
  bool all_gone = true;
  for (const std::string& name : names) {
    struct stat st {};
    if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      all_gone = all_gone && errno == ENOENT;
      continue;
    }
    if (!S_ISDIR(st.st_mode)) {  // a symbolic link is one of these: it goes, its target stays
      all_gone = Gone(::unlinkat(at, name.c_str(), 0)) && all_gone;
      continue;
    }
    if (st.st_dev != device) {
      all_gone = false;
      continue;
    }
    // A folder that its own files took the rights from (an installer's 0500) is opened for the
    // deletion; it is ours, as everything in a run's folder is.
    if ((st.st_mode & S_IRWXU) != S_IRWXU) ::fchmodat(at, name.c_str(), st.st_mode | S_IRWXU, 0);
    const int inner = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (inner < 0) {
      all_gone = false;
      continue;
    }
    const bool emptied = EmptyFolder(inner, device);
    all_gone = emptied && Gone(::unlinkat(at, name.c_str(), AT_REMOVEDIR)) && all_gone;
  }
  ::closedir(folder);
  return all_gone;
}

}  // namespace

std::optional<std::string> MakeRunDirectory(const std::string& parent, std::string* error) {
  std::string pattern = parent;
  if (pattern.empty() || pattern.back() != '/') pattern += '/';
  pattern += "run-XXXXXX";
  // mkdtemp makes the folder with owner-only access and a name that was free.
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  if (::mkdtemp(path.data()) == nullptr) {
    if (error != nullptr) {
      *error = parent + ": no folder for this run can be made (" + std::strerror(errno) + ")";
    }
    return std::nullopt;
  }
  return std::string(path.data()) + '/';
}

bool RemoveDirectoryTree(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || path == "/") return false;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  // A link in the folder's place goes; what it leads to stays.
  if (S_ISLNK(st.st_mode)) return Gone(::unlink(path.c_str()));
  if (!S_ISDIR(st.st_mode)) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  EmptyFolder(fd, st.st_dev);
  return Gone(::rmdir(path.c_str()));
}

}  // namespace rariduze
