#include "app/installer.h"

#include "app/paths.h"

namespace rariduze::ModuloUp {
namespace {

// The first max_characters characters of a UTF-8 text; a character is never split.
std::string FirstCharacters(const std::string& text, std::size_t max_characters) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool continuation = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    if (!continuation && characters++ == max_characters) return text.substr(0, i);
  }
  return text;
}

}  // namespace

bool AppRunning = false;

ProcessOutcome RunAndWait(SystemServices& system, const std::string& command_line) {
  return system.RunProgramAndWait(command_line);
}

bool CheckWindowTitle(const std::string& title) {
  std::string searched = FirstCharacters(TrimAtNul(title), kMaxTitleCharacters);
  if (searched.find(kServedAppTitleMark) != std::string::npos) AppRunning = true;
  return true;
}

bool RestartServedApplication(SystemServices& system, const std::string& app_dir) {
  system.EnumerateTopLevelWindows(CheckWindowTitle);
  if (AppRunning) return false;
  return system.StartDetachedProgram(app_dir + kServedAppFile);
}

}  // namespace rariduze::ModuloUp
