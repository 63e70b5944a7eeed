#include "app/paths.h"

#include "platform/system_paths.h"

namespace rariduze::ModuloUp {

std::string AppDir() {
  std::string dir = ExecutableDirectory();
  if (dir.empty() || dir.back() != PathSeparator()) dir += PathSeparator();
  return dir;
}

void SplitUrl(std::string& url, std::string& path) {
  if (url.starts_with("http://")) {
    url.erase(0, 7);
  } else if (url.starts_with("https://")) {
    url.erase(0, 8);
  }
  std::size_t slash = url.find('/');
  if (slash == std::string::npos) return;
  path = url.substr(slash);
  url.erase(slash);
}

std::string TrimAtNul(const std::string& buffer) {
  std::size_t nul = buffer.find('\0');
  return nul == std::string::npos ? buffer : buffer.substr(0, nul);
}

}  // namespace rariduze::ModuloUp

namespace rariduze {

std::optional<std::string> TempDir(std::string* error) { return PrivateTempDirectory(error); }

}  // namespace rariduze
