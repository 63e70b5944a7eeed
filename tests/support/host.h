#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rariduze::testing {

// What differs between the platforms a test runs on, for the tests' own needs. On Windows the
// tests run under Wine on a Linux machine, and the servers they start are Linux programs.

// An environment variable of this process (and of the programs it starts).
std::optional<std::string> GetEnv(const std::string& name);
void SetEnv(const std::string& name, const std::optional<std::string>& value);

// Sets (or, with nothing, unsets) an environment variable for a scope.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::optional<std::string>& value)
      : name_(name), saved_(GetEnv(name)) {
    SetEnv(name_, value);
  }
  ~ScopedEnv() { SetEnv(name_, saved_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// Points the system's proxy settings at proxy ("host:port") for a scope, with the hosts in
// exempt (comma-separated; none when empty) going direct, and puts the old settings back at
// its end: on Linux the environment (http_proxy, no_proxy),
// which libcurl reads; on Windows the user's Internet Settings in the registry, which the
// platform's internet API reads when a session opens. Under Wine that registry is the build's
// prefix, shared with the tests that run at the same time: one scope at a time holds it,
// across processes.
class ScopedSystemProxy {
 public:
  explicit ScopedSystemProxy(const std::string& proxy, const std::string& exempt = {});
  ~ScopedSystemProxy();
  ScopedSystemProxy(const ScopedSystemProxy&) = delete;
  ScopedSystemProxy& operator=(const ScopedSystemProxy&) = delete;

 private:
  // What the settings held before, by name (nothing: not set).
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
  std::intptr_t lock_ = 0;  // Windows: the lock held across processes
};

// A path of this platform as the Linux programs the tests start (nginx, the zip tool) name it:
// the same path on Linux; under Wine, a path on drive Z: (the Linux root) without it.
std::string UnixPath(const std::string& path);
// The other way round: a Linux path as this platform's programs name it.
std::string PlatformPath(const std::string& unix_path);

// True when the Linux programs the tests start run as root.
bool LinuxUserIsRoot();

// Text a program printed, with its line ends as on Linux: Windows programs end lines with CR LF.
std::string WithUnixLineEnds(const std::string& text);

// The file name this platform gives the program called name ("name" or "name.exe").
std::string ProgramFileName(const std::string& name);

// How the Linux shell starts a program of this platform: put before the program's path. Nothing
// on Linux; under Wine "wine ", which takes the program's Windows path and keeps the resource
// limits of the shell that starts it.
std::string ShellProgramPrefix();

// The descriptors this process holds, where the platform can count them (Linux: /proc/self/fd).
// Nothing under Wine: what the kernel shows there is Wine's own cache of descriptors, which
// comes and goes on its own.
std::optional<std::size_t> OpenDescriptorCount();

}  // namespace rariduze::testing
