#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tests/support/folder_access.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {

std::string WhyNotPrivate(const std::string& folder) {
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) return folder + ": " + std::strerror(errno);
  if (st.st_uid != ::geteuid()) return "owned by user " + std::to_string(st.st_uid);
  if ((st.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%03o", static_cast<unsigned>(st.st_mode & 0777));
    return std::string("open to group or others (mode ") + mode + ")";
  }
  if ((st.st_mode & S_IRWXU) != S_IRWXU) return "closed to its owner";
  return {};
}

void OpenToEveryone(const std::string& folder) { ::chmod(folder.c_str(), 0777); }

bool MakeFolderLink(const std::string& link, const std::string& target, std::string* why) {
  if (::symlink(target.c_str(), link.c_str()) == 0) return true;
  *why = std::strerror(errno);
  return false;
}

void WriteExactFile(const std::string& path, const std::string& bytes) { WriteFile(path, bytes); }

}  // namespace rariduze::testing
