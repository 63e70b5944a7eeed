#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <system_error>
#include <thread>

#include "platform/process.h"

extern char** environ;

namespace rariduze {
namespace {

// Refuses what exec would refuse, before anything is spawned: with some C libraries an exec
// failure surfaces only as exit status 127 of a child that seems to have started.
bool CanExecute(const std::string& path, std::string* error) {
  struct stat st {};
  if (path.empty()) {
    *error = "no program given";
    return false;
  }
  if (::stat(path.c_str(), &st) != 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + " is not a regular file";
    return false;
  }
  if (::access(path.c_str(), X_OK) != 0) {
    // EACCES here: no execute permission, or a file system mounted without execution.
    *error = errno == EACCES ? path + " is not executable" : path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

// Spawn settings shared by both kinds of start: the child gets default signal handling and an
// empty signal mask whatever this process (and its toolkit) has set up for itself.
class SpawnAttributes {
 public:
  explicit SpawnAttributes(short extra_flags) {
    ::posix_spawnattr_init(&attributes_);
    sigset_t all;
    sigset_t none;
    ::sigfillset(&all);
    ::sigemptyset(&none);
    ::posix_spawnattr_setsigdefault(&attributes_, &all);
    ::posix_spawnattr_setsigmask(&attributes_, &none);
    ::posix_spawnattr_setflags(&attributes_,
                               POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | extra_flags);
  }
  ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

class FileActions {
 public:
  FileActions() { ::posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;

  void AllStandardStreamsToNull() {
    ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0);
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// Starts path as its own program and first argument; the pid, or -1 with the reason in *error.
pid_t Spawn(const std::string& path, const FileActions* actions, const SpawnAttributes& attributes,
            std::string* error) {
  if (!CanExecute(path, error)) return -1;
  std::string argument0 = path;
  char* argv[] = {argument0.data(), nullptr};
  pid_t pid = -1;
  int result = ::posix_spawn(&pid, path.c_str(), actions != nullptr ? actions->get() : nullptr,
                             attributes.get(), argv, environ);
  if (result != 0) {
    *error = path + ": " + std::strerror(result);
    return -1;
  }
  return pid;
}

// Blocks until the child has ended; a signal delivered to this process meanwhile does not
// end the wait.
bool WaitForChild(pid_t pid, int* status) {
  while (::waitpid(pid, status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

void ResetChildEndHandling() {
  struct sigaction current {};
  if (::sigaction(SIGCHLD, nullptr, &current) != 0) return;
  // Only the inherited "ignore" goes; a handler installed in this process (say by the
  // toolkit) stays.
  const bool ignored = (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN;
  if (!ignored) return;
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  ::sigemptyset(&defaults.sa_mask);
  ::sigaction(SIGCHLD, &defaults, nullptr);
}

ProcessOutcome RunProgramAndWait(const std::string& path) {
  ProcessOutcome outcome;
  SpawnAttributes attributes(0);
  pid_t pid = Spawn(path, nullptr, attributes, &outcome.error);
  if (pid < 0) return outcome;
  outcome.started = true;
  int status = 0;
  if (!WaitForChild(pid, &status)) {
    outcome.error = std::string("cannot wait for the program: ") + std::strerror(errno);
    return outcome;
  }
  if (WIFEXITED(status)) {
    outcome.exit_status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    outcome.signal = WTERMSIG(status);
  }
  return outcome;
}

bool StartDetachedProgram(const std::string& path) {
  FileActions actions;
  actions.AllStandardStreamsToNull();
  SpawnAttributes attributes(POSIX_SPAWN_SETSID);
  std::string error;
  pid_t pid = Spawn(path, &actions, attributes, &error);
  if (pid < 0) return false;
  // The program is not waited for, but if it ends while this process still lives it must not
  // linger as a zombie; once this process has gone, init adopts and reaps it.
  try {
    std::thread([pid] {
      int status = 0;
      WaitForChild(pid, &status);
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the program still runs, only its end is not collected.
  }
  return true;
}

void EndProcess(int exit_code) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  ::_exit(exit_code);
}

}  // namespace rariduze
