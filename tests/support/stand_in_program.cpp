// Stands in for the programs the updater starts (the installer, the served application): it
// appends one line, its name and then each argument after a blank, to the file named by
// RARIDUZE_STAND_IN_MARK, and exits with the status in RARIDUZE_STAND_IN_EXIT (0 when unset).
// Both come from the environment it inherits, so a test steers it without a shell; the same
// source builds for every platform the updater runs on.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  std::string line = argc > 0 ? argv[0] : "";
  for (int i = 1; i < argc; ++i) {
    line += ' ';
    line += argv[i];
  }
  line += '\n';

  const char* mark = std::getenv("RARIDUZE_STAND_IN_MARK");
  if (mark != nullptr && mark[0] != '\0') {
    std::FILE* file = std::fopen(mark, "ab");
    if (file == nullptr) return 125;  // a run that left no mark must not pass for one
    const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    if (std::fclose(file) != 0 || !written) return 125;
  }
  const char* status = std::getenv("RARIDUZE_STAND_IN_EXIT");
  return status != nullptr ? std::atoi(status) : 0;
}
