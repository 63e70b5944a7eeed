#include "tests/support/child_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/test_dir.h"

extern char** environ;

namespace rariduze::testing {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

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
  pid_t done = ::wait4(pid_, &status, block ? 0 : WNOHANG, &usage);
  if (done != pid_) return false;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  peak_rss_kib_ = usage.ru_maxrss;
  return true;
}

bool ChildProcess::Running() { return pid_ > 0 && !Reap(false); }

std::optional<int> ChildProcess::Wait(milliseconds timeout) {
  Clock::time_point deadline = Clock::now() + timeout;
  while (!Reap(false)) {
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return status_;
}

void ChildProcess::Stop(milliseconds grace) {
  if (pid_ <= 0 || Reap(false)) return;
  ::kill(pid_, SIGTERM);
  if (Wait(grace)) return;
  ::kill(pid_, SIGKILL);
  Reap(true);
}

ProgramRun RunProgram(const std::vector<std::string>& argv, milliseconds timeout) {
  TestDir dir("run");
  ProgramRun run;
  {
    ChildProcess child(argv, dir.File("out"), dir.File("err"));
    if (!child.started()) throw std::runtime_error("cannot start " + argv.at(0));
    std::optional<int> status = child.Wait(timeout);
    if (status) {
      run.exit_status = *status;
    } else {
      run.timed_out = true;
      child.Stop(milliseconds(0));
    }
  }
  run.output = ReadFile(dir.File("out"));
  run.errors = ReadFile(dir.File("err"));
  return run;
}

std::uint16_t FreeLoopbackPort(std::uint16_t below) {
  static std::mt19937 random(std::random_device{}());
  // Below a bound the kernel does not pick: try random ports from 10000 up, a bounded number.
  for (int attempt = 0; attempt < 200; ++attempt) {
    std::uint16_t wanted = 0;
    if (below > 10000) {
      wanted =
          static_cast<std::uint16_t>(std::uniform_int_distribution<int>(10000, below - 1)(random));
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("no socket");
    sockaddr_in address = Loopback(wanted);
    socklen_t length = sizeof address;
    bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(fd);
    if (bound) return ntohs(address.sin_port);
  }
  throw std::runtime_error("cannot bind a loopback port");
}

bool WaitUntilListening(std::uint16_t port, ChildProcess& child, milliseconds timeout) {
  Clock::time_point deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    if (!child.Running()) return false;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(port);
    bool connected =
        fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    if (connected) return true;
    std::this_thread::sleep_for(milliseconds(20));
  }
  return false;
}

}  // namespace rariduze::testing
