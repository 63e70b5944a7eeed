#pragma once

#include <optional>
#include <string>

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

}  // namespace rariduze::testing
