#include <unistd.h>

#include <cstdlib>
#include <filesystem>

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

ScopedSystemProxy::ScopedSystemProxy(const std::string& proxy, const std::string& exempt) {
  for (const char* name : {"http_proxy", "no_proxy", "NO_PROXY"}) {
    saved_.emplace_back(name, GetEnv(name));
    SetEnv(name, std::nullopt);
  }
  SetEnv("http_proxy", "http://" + proxy);
  if (!exempt.empty()) SetEnv("no_proxy", exempt);
}

ScopedSystemProxy::~ScopedSystemProxy() {
  for (const auto& [name, value] : saved_) SetEnv(name, value);
}

std::string UnixPath(const std::string& path) { return path; }
std::string PlatformPath(const std::string& unix_path) { return unix_path; }

bool LinuxUserIsRoot() { return ::geteuid() == 0; }

std::string WithUnixLineEnds(const std::string& text) { return text; }

std::string ShellProgramPrefix() { return {}; }

std::string ProgramFileName(const std::string& name) { return name; }

std::optional<std::size_t> OpenDescriptorCount() {
  // The listing's own descriptor is among them, the same each time.
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

}  // namespace rariduze::testing
