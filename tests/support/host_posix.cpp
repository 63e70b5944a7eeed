#include <unistd.h>

#include <cstdlib>

#include "tests/support/host.h"

namespace rariduze::testing {

std::optional<std::string> GetEnv(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

std::string UnixPath(const std::string& path) { return path; }
std::string PlatformPath(const std::string& unix_path) { return unix_path; }

bool LinuxUserIsRoot() { return ::geteuid() == 0; }

std::string WithUnixLineEnds(const std::string& text) { return text; }

std::string ProgramFileName(const std::string& name) { return name; }

}  // namespace rariduze::testing
