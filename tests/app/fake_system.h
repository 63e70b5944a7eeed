#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/system_services.h"

namespace rariduze::testing {

// Thrown where the updater ends the process, so that a scenario that ends the program returns
// to its test, in the test's own process, with everything it did still there to look at.
struct ProgramEnded : std::runtime_error {
  explicit ProgramEnded(int code) : std::runtime_error("the program ended"), exit_code(code) {}
  int exit_code;
};

// The system as the update sequence sees it, with scripted answers: a temporary folder per run
// made below base_dir, window titles, dial-up connections and free space as the test says.
// Installers really run (through the machine's own services, unless run_program says
// otherwise); the served application is only recorded, since starting it is the platform's
// part, tried on its own.
class FakeSystem : public SystemServices {
 public:
  explicit FakeSystem(std::string base_dir) : base_dir_(std::move(base_dir)) {}

  // The scripted answers.
  std::vector<std::string> window_titles;
  int dialup_connections = 0;
  std::optional<std::int64_t> free_space;     // nothing: the real free space
  std::optional<std::string> temp_dir_error;  // set: no temporary folder can be had
  std::function<ProcessOutcome(const std::string& path)> run_program;  // empty: real
  // How the process ends: by throwing ProgramEnded (in-process scenarios), or for a test whose
  // process ends in a death test's child, by really exiting.
  bool really_exit = false;

  // What happened, in order: "run PATH" for a program run and awaited, "start PATH" for a
  // program started on its own, "end N" for the end of the process.
  std::vector<std::string> events;
  // The programs started and awaited, then those started on their own.
  std::vector<std::string> ProgramsRun() const;
  std::vector<std::string> ProgramsStarted() const;
  // The run's folder once made (ending in the separator), and whether it was removed since.
  const std::optional<std::string>& run_dir() const { return run_dir_; }
  bool run_dir_removed() const { return run_dir_removed_; }
  bool ended() const;

  std::optional<std::string> RunTempDirectory(std::string* error) override;
  void RemoveRunTempDirectory() override;
  std::optional<std::int64_t> FreeSpace(const std::string& folder) override;
  ProcessOutcome RunProgramAndWait(const std::string& path) override;
  bool StartDetachedProgram(const std::string& path) override;
  void EnumerateTopLevelWindows(
      const std::function<bool(const std::string& title)>& visit) override;
  int CountActiveDialUpConnections() override { return dialup_connections; }
  [[noreturn]] void EndProcess(int exit_code) override;

 private:
  std::string base_dir_;
  std::optional<std::string> run_dir_;
  bool run_dir_removed_ = false;
};

}  // namespace rariduze::testing
