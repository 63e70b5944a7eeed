#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "tools/publish/input_rules.h"
#include "tools/publish/signing_tool.h"

extern char** environ;

namespace rariduze::publish {
namespace {

// Ctrl-C at the tool's password prompt reaches this process too: it must outlive the tool,
// so that it can clean up and say what happened, as a shell does for the command it runs.
class InterruptsIgnored {
 public:
  InterruptsIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGINT, &ignore, &saved_interrupt_);
    sigaction(SIGQUIT, &ignore, &saved_quit_);
  }
  ~InterruptsIgnored() {
    sigaction(SIGINT, &saved_interrupt_, nullptr);
    sigaction(SIGQUIT, &saved_quit_, nullptr);
  }
  InterruptsIgnored(const InterruptsIgnored&) = delete;
  InterruptsIgnored& operator=(const InterruptsIgnored&) = delete;

 private:
  struct sigaction saved_interrupt_ {};
  struct sigaction saved_quit_ {};
};

}  // namespace

std::optional<std::string> SignWithTool(const std::filesystem::path& secret_key,
                                        const std::string& trusted_comment,
                                        const std::vector<std::filesystem::path>& files) {
  std::vector<std::string> args = {"minisign",      "-S", "-s", PathText(secret_key), "-t",
                                   trusted_comment, "-m"};
  for (const std::filesystem::path& file : files) args.push_back(PathText(file));
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // The tool itself takes Ctrl-C as usual.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGQUIT);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  InterruptsIgnored interrupts;
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "minisign", nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (spawned == ENOENT)
    return "the signing tool minisign is not installed (Debian package minisign)";
  if (spawned != 0)
    return std::string("the signing tool minisign cannot be started: ") + std::strerror(spawned);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return std::string("the signing tool was lost: ") + std::strerror(errno);
  }
  if (WIFSIGNALED(status)) {
    return WTERMSIG(status) == SIGINT
               ? std::string("signing was interrupted")
               : "the signing tool was ended by signal " + std::to_string(WTERMSIG(status));
  }
  if (WEXITSTATUS(status) != 0) {
    return "the signing tool could not sign with " + PathText(secret_key) +
           " (its reason is above; a wrong password is the usual one)";
  }
  return std::nullopt;
}

}  // namespace rariduze::publish
