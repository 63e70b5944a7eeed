// Stands in for the programs the updater starts (the installer, the served application): it
// appends one line, its name and then each argument after a blank, to the file named by
// RARIDUZE_STAND_IN_MARK, and exits with the status in RARIDUZE_STAND_IN_EXIT (0 when unset).
// With RARIDUZE_STAND_IN_WAIT_FOR it waits, after the mark, until the file named there exists,
// as an installer that takes its time; what else it does as installers do is the desktop's own
// (stand_in_desktop.h). All comes from the environment it inherits, so a test steers it without
// a shell; the same source builds for every platform the updater runs on.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/stand_in_desktop.h"

namespace {

// Exit status of a run that waited in vain.
constexpr int kWaitedInVain = 124;

bool AwaitFile(const char* path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  std::error_code error;
  while (!std::filesystem::exists(std::filesystem::path(path), error)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string line = argc > 0 ? argv[0] : "";
  for (int i = 1; i < argc; ++i) {
    line += ' ';
    line += argv[i];
  }
  line += '\n';

  rariduze::testing::ActOnDesktop();
  const char* mark = std::getenv("RARIDUZE_STAND_IN_MARK");
  if (mark != nullptr && mark[0] != '\0') {
    std::FILE* file = std::fopen(mark, "ab");
    if (file == nullptr) return 125;  // a run that left no mark must not pass for one
    const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    if (std::fclose(file) != 0 || !written) return 125;
  }
  const char* wait_for = std::getenv("RARIDUZE_STAND_IN_WAIT_FOR");
  if (wait_for != nullptr && wait_for[0] != '\0' && !AwaitFile(wait_for)) return kWaitedInVain;
  const char* status = std::getenv("RARIDUZE_STAND_IN_EXIT");
  return status != nullptr ? std::atoi(status) : 0;
}
