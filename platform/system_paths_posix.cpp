#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/private_directory_posix.h"
#include "platform/system_paths.h"

namespace rariduze {
namespace {

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  for (int attempt = 0; attempt < 4; ++attempt) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 4);
  }
  return {};
}

}  // namespace

std::optional<std::string> KnownExecutableDirectory() {
  std::string path = ExecutablePath();
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::nullopt;
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string ExecutableDirectory() { return KnownExecutableDirectory().value_or("."); }

std::string ExecutableName() {
  std::string path = ExecutablePath();
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string UserTempBase() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string base = (tmpdir != nullptr && tmpdir[0] == '/') ? tmpdir : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base;
}

std::string CurrentUserTag() { return std::to_string(::geteuid()); }

std::optional<std::string> PreparePrivateDirectory(const std::string& parent,
                                                   const std::string& name, std::string* error) {
  std::string path = parent == "/" ? "/" + name : parent + "/" + name;
  auto fail = [&](const std::string& why) -> std::optional<std::string> {
    if (error != nullptr) *error = path + ": " + why;
    return std::nullopt;
  };
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    return fail(std::string("cannot be created (") + std::strerror(errno) + ")");
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    return fail(std::string("cannot be examined (") + std::strerror(errno) + ")");
  }
  if (S_ISLNK(st.st_mode)) return fail("is a symbolic link");
  if (!S_ISDIR(st.st_mode)) return fail("is not a directory");
  if (st.st_uid != ::geteuid()) return fail("belongs to another user");
  if ((st.st_mode & 077) != 0) return fail("can be reached by other users");
  return path;
}

char PathSeparator() { return '/'; }

std::optional<std::string> PrivateTempDirectory(std::string* error) {
  // /tmp is shared by every user: the updater's files go to a folder of the user's own there.
  std::optional<std::string> dir =
      PreparePrivateDirectory(UserTempBase(), "rariduze-" + CurrentUserTag(), error);
  if (dir && dir->back() != '/') *dir += '/';
  return dir;
}

std::optional<std::int64_t> FreeSpaceIn(const std::string& folder) {
  struct statvfs fs {};
  if (::statvfs(folder.c_str(), &fs) != 0) return std::nullopt;
  // What an unprivileged user may still fill, not the blocks kept for the administrator.
  const unsigned long long bytes = static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize;
  return static_cast<std::int64_t>(std::min<unsigned long long>(bytes, INT64_MAX));
}

}  // namespace rariduze
