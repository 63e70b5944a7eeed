#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "tests/support/child_process.h"

extern char** environ;

namespace rariduze::testing {

using std::chrono::milliseconds;

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& output_file,
                           const std::string& error_file) {
  // Everything the child needs is prepared here: after fork it only makes system calls.
  std::string program = argv.at(0);
  if (program.find('/') == std::string::npos) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
      std::string candidate = folder + "/" + program;
      if (::access(candidate.c_str(), X_OK) == 0) {
        program = candidate;
        break;
      }
    }
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t parent = ::getpid();

  pid_t pid = ::fork();
  if (pid == 0) {
    // A test that dies without its destructors (a crash, an abort) takes its servers along.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    int in = ::open("/dev/null", O_RDONLY);
    int out = ::open(output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0) {
      ::_exit(127);
    }
    for (int fd : {in, out, err}) {
      if (fd > 2) ::close(fd);
    }
    ::execve(program.c_str(), args.data(), environ);
    ::_exit(127);
  }
  if (pid > 0) pid_ = pid;
}

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Reap(bool block) {
  if (pid_ <= 0 || status_) return true;
  int status = 0;
  rusage usage{};
  pid_t done = ::wait4(static_cast<pid_t>(pid_), &status, block ? 0 : WNOHANG, &usage);
  if (done != pid_) return false;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  peak_rss_kib_ = usage.ru_maxrss;
  return true;
}

void ChildProcess::Stop(milliseconds grace) {
  if (pid_ <= 0 || Reap(false)) return;
  ::kill(static_cast<pid_t>(pid_), SIGTERM);
  if (Wait(grace)) return;
  ::kill(static_cast<pid_t>(pid_), SIGKILL);
  Reap(true);
}

}  // namespace rariduze::testing
