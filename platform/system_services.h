#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/process.h"

namespace rariduze {

// What the update sequence asks of the operating system besides files, the internet and the
// user: its temporary folder, programs, the desktop's windows, dial-up connections and the end
// of the process. One object holds them all, so that a test can put a double with scripted
// answers in its place and run the whole sequence in-process on every system.
class SystemServices {
 public:
  virtual ~SystemServices() = default;

  // The folder of this run's temporary files, ending in the separator: made on the first call,
  // fresh and reachable by the current user alone, and the same folder on every later call.
  // Nothing, with the reason in *error, when no such folder can be had.
  virtual std::optional<std::string> RunTempDirectory(std::string* error) = 0;
  // Removes this run's temporary folder with everything in it; nothing when none was made.
  virtual void RemoveRunTempDirectory() = 0;
  // The bytes the current user can still write in folder; nothing when the system cannot tell.
  virtual std::optional<std::int64_t> FreeSpace(const std::string& folder) = 0;

  // Starts the program at path (no arguments, no shell) and waits until it has ended.
  virtual ProcessOutcome RunProgramAndWait(const std::string& path) = 0;
  // Starts the program at path as one of its own that outlives this process; false when it
  // could not be started.
  virtual bool StartDetachedProgram(const std::string& path) = 0;
  // Calls visit with the title of every top-level window of the desktop until it returns false.
  virtual void EnumerateTopLevelWindows(
      const std::function<bool(const std::string& title)>& visit) = 0;
  // How many dial-up connections are active; 0 when none or when the system cannot tell.
  virtual int CountActiveDialUpConnections() = 0;
  // Ends the process: no further code of any window or object runs.
  [[noreturn]] virtual void EndProcess(int exit_code) = 0;

  // This machine's own, for this run of the program.
  static SystemServices& Default();
  // This machine's own as another run of the program would have them (a folder of its own):
  // for tools and tests that play two runs at once.
  static std::unique_ptr<SystemServices> ForAnotherRun();
};

}  // namespace rariduze
