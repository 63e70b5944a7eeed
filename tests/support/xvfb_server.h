#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "tests/support/test_dir.h"

namespace rariduze::testing {

// A private X server (Xvfb) for a test. The server picks a free display number itself, so tests
// that run at the same time never share one. The constructor waits, bounded, until the server
// accepts connections; the destructor stops and reaps it.
class XvfbServer {
 public:
  XvfbServer();
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Accepting connections.
  bool running() const { return pid_ > 0 && !display_.empty(); }
  // ":N", the value for DISPLAY; empty when the server did not start.
  const std::string& display() const { return display_; }
  // Why the server did not start (with the end of its log).
  const std::string& error() const { return error_; }

  void Stop();

 private:
  void Start();
  std::string LogTail() const;

  TestDir dir_{"xvfb"};
  pid_t pid_ = -1;
  std::string display_;
  std::string error_;
};

// Sets DISPLAY for its lifetime (unsets it for an empty value) and restores the old value.
class ScopedDisplay {
 public:
  explicit ScopedDisplay(const std::string& display);
  ~ScopedDisplay();
  ScopedDisplay(const ScopedDisplay&) = delete;
  ScopedDisplay& operator=(const ScopedDisplay&) = delete;

 private:
  std::optional<std::string> saved_;
};

}  // namespace rariduze::testing
