#include "tests/support/child_process.h"

#include <random>
#include <stdexcept>
#include <thread>

#include "tests/support/host.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Each system's backend reaps its child in Reap; waiting is the same everywhere.
bool ChildProcess::Running() { return pid_ > 0 && !Reap(false); }

std::optional<int> ChildProcess::Wait(milliseconds timeout) {
  Clock::time_point deadline = Clock::now() + timeout;
  while (!Reap(false)) {
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return status_;
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
  run.output = WithUnixLineEnds(ReadFile(dir.File("out")));
  run.errors = WithUnixLineEnds(ReadFile(dir.File("err")));
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
    std::uint16_t bound = ProbeLoopbackPort(wanted);
    if (bound != 0) return bound;
  }
  throw std::runtime_error("cannot bind a loopback port");
}

bool WaitUntilListening(std::uint16_t port, ChildProcess& child, milliseconds timeout) {
  Clock::time_point deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    if (!child.Running()) return false;
    Socket connection = ConnectToLoopback(port);
    CloseSocket(connection);
    if (connection != kNoSocket) return true;
    std::this_thread::sleep_for(milliseconds(20));
  }
  return false;
}

}  // namespace rariduze::testing
