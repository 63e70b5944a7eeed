#pragma once

#include <cstddef>
#include <string>

#include "platform/process.h"
#include "platform/system_services.h"

namespace rariduze::ModuloUp {

// A window whose title contains this text belongs to the served application.
inline constexpr char kServedAppTitleMark[] = "Zentri Computer";
// The served application, in the updater's own directory.
inline constexpr char kServedAppFile[] = "Zentri Pc.exe";
// Only this many characters of a window title are looked at.
inline constexpr std::size_t kMaxTitleCharacters = 259;

// Set once a window of the served application has been seen; never reset by the program.
extern bool AppRunning;

// Runs the program at command_line (the path alone, no arguments, no shell) and waits without
// a time-out until it has ended. Tells whether it could be started and how it ended.
ProcessOutcome RunAndWait(SystemServices& system, const std::string& command_line);

// Called with the title of each top-level window: sets AppRunning when the first 259
// characters of the title contain the mark (exact case). Always true, so every window is seen.
bool CheckWindowTitle(const std::string& title);

// The restart step of every exit: looks at all top-level windows and, when none belongs to the
// served application, starts app_dir + "Zentri Pc.exe" as a program of its own that outlives
// the updater. Failures are ignored; true when the program was started.
bool RestartServedApplication(SystemServices& system, const std::string& app_dir);

}  // namespace rariduze::ModuloUp
