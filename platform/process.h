#pragma once

#include <string>

namespace rariduze {

// How a program run to its end went.
struct ProcessOutcome {
  bool started = false;  // false: the program could not be started at all
  int exit_status = -1;  // its exit status when it ended normally
  int signal = 0;        // the signal that ended it, 0 when it exited normally
  // It succeeded with an exit status that asks for a restart of the computer (the platform
  // decides which statuses say so).
  bool restart_needed = false;
  // The program has itself begun a restart of the computer (also restart_needed).
  bool restart_initiated = false;
  std::string error;  // why it could not be started, or could not be waited for
  bool Succeeded() const { return started && signal == 0 && (exit_status == 0 || restart_needed); }
};

// Undoes what a parent may have handed this process that would hide how its children end (an
// ignored SIGCHLD survives exec, and the end of every child is then collected unseen). Call it
// at start, before any program is run.
void ResetChildEndHandling();

// Starts the program at path (no shell; the path alone is the program and its first argument),
// inheriting the environment and the current directory, and waits without a time-out until it
// has ended. Where the system asks the user before a program gets administrator rights, a
// program that needs them is started that way; when the user declines, it is not started.
// Where windows must answer what other programs send them, the calling thread's windows keep
// answering during the wait (an installer that tells every window of a change waits for each),
// and the keyboard and mouse input they get meanwhile is dropped.
ProcessOutcome RunProgramAndWait(const std::string& path);

// Starts the program at path without waiting; it gets its own session, its standard streams
// are detached, and it outlives this process. False when it could not be started.
bool StartDetachedProgram(const std::string& path);

// Ends this process at once: no further code of any window or object runs.
[[noreturn]] void EndProcess(int exit_code);

}  // namespace rariduze
