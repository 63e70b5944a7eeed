#include "tests/support/xvfb_server.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace rariduze::testing {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(30);
constexpr auto kStopTimeout = std::chrono::seconds(10);
constexpr auto kPollStep = std::chrono::milliseconds(20);

bool Reap(pid_t pid, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    int status = 0;
    pid_t result = ::waitpid(pid, &status, WNOHANG);
    if (result == pid || (result < 0 && errno != EINTR)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollStep);
  }
}

}  // namespace

XvfbServer::XvfbServer() { Start(); }

XvfbServer::~XvfbServer() { Stop(); }

void XvfbServer::Start() {
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  // Xvfb writes the display number it chose to the given descriptor once it accepts
  // connections: its standard output, here the pipe.
  std::string log = dir_.File("xvfb.log");
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, ready[1], 1);
  ::posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // -noreset: a server that resets when its last client leaves refuses connections meanwhile.
  const char* argv[] = {"Xvfb",       "-displayfd", "1",   "-screen",  "0",
                        "800x600x24", "-nolisten",  "tcp", "-noreset", nullptr};
  int result = ::posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(ready[1]);
  if (result != 0) {
    pid_ = -1;
    ::close(ready[0]);
    error_ = std::string("cannot start Xvfb: ") + std::strerror(result);
    return;
  }

  std::string number;
  auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (number.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd wait{ready[0], POLLIN, 0};
    int polled = ::poll(&wait, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) break;
    char buffer[32];
    ssize_t got = ::read(ready[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // the server ended
    number.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(ready[0]);
  std::size_t end = number.find('\n');
  if (end == std::string::npos || end == 0) {
    error_ = "Xvfb did not report a display in time" + LogTail();
    Stop();
    return;
  }
  std::string display = ":" + number.substr(0, end);

  // The number is written once it listens; one connection proves it.
  Display* connection = XOpenDisplay(display.c_str());
  if (connection == nullptr) {
    error_ = "Xvfb on " + display + " refuses connections" + LogTail();
    Stop();
    return;
  }
  XCloseDisplay(connection);
  display_ = display;
}

void XvfbServer::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  if (!Reap(pid_, kStopTimeout)) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
  display_.clear();
}

std::string XvfbServer::LogTail() const {
  std::string log = ReadFile(dir_.File("xvfb.log"));
  if (log.size() > 2000) log = log.substr(log.size() - 2000);
  return log.empty() ? std::string() : "\n" + log;
}

ScopedDisplay::ScopedDisplay(const std::string& display) {
  if (const char* old = std::getenv("DISPLAY")) saved_ = old;
  if (display.empty()) {
    ::unsetenv("DISPLAY");
  } else {
    ::setenv("DISPLAY", display.c_str(), 1);
  }
}

ScopedDisplay::~ScopedDisplay() {
  if (saved_) {
    ::setenv("DISPLAY", saved_->c_str(), 1);
  } else {
    ::unsetenv("DISPLAY");
  }
}

}  // namespace rariduze::testing
