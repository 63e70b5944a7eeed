#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rariduze::testing {

// A program run as a child of the test, its standard output and error going to files. The
// destructor ends it (TERM, then KILL) and reaps it, so no test leaves a process behind.
// Under Wine a program named without ".exe" (nginx, zip, openssl) is a Linux program: it is
// started through Wine's bridge to Linux, with arguments that are paths on drive Z: turned into
// Linux paths.
class ChildProcess {
 public:
  // argv[0] is a path or a name looked up in PATH.
  ChildProcess(const std::vector<std::string>& argv, const std::string& output_file,
               const std::string& error_file);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  long pid() const { return pid_; }
  bool Running();
  // The exit status once it has ended by itself within timeout (-1 when a signal ended it);
  // nothing while it still runs.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  // Ends it: TERM, and KILL when it is still there after grace.
  void Stop(std::chrono::milliseconds grace = std::chrono::seconds(5));
  // Peak resident memory of the ended child in KiB (0 while it runs).
  long peak_rss_kib() const { return peak_rss_kib_; }

 private:
  bool Reap(bool block);

  long pid_ = -1;
  std::intptr_t handle_ = 0;  // Windows: the process's handle; 0 for a Linux program
  std::string run_dir_;       // Windows, Linux program: where its pid and exit status appear
  std::optional<int> status_;
  long peak_rss_kib_ = 0;
};

struct ProgramRun {
  bool timed_out = false;
  int exit_status = -1;  // -1 when a signal ended it
  std::string output;
  std::string errors;
};

// Runs a program to its end (killed after timeout) and collects what it printed, with its line
// ends as on Linux.
ProgramRun RunProgram(const std::vector<std::string>& argv,
                      std::chrono::milliseconds timeout = std::chrono::seconds(60));

// A port on 127.0.0.1 that nothing listens on right now (the kernel's pick, released at once).
// With below set, one under it (a server that the program must name by a 16-bit signed port
// needs one under 32768).
std::uint16_t FreeLoopbackPort(std::uint16_t below = 0);

// Polls 127.0.0.1:port until it accepts a connection; false when child ends or time runs out.
bool WaitUntilListening(std::uint16_t port, ChildProcess& child,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace rariduze::testing
