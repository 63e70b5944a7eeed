#include "tests/app/fake_system.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

std::vector<std::string> Paths(const std::vector<std::string>& events, const std::string& kind) {
  std::vector<std::string> paths;
  for (const std::string& event : events) {
    if (event.rfind(kind + " ", 0) == 0) paths.push_back(event.substr(kind.size() + 1));
  }
  return paths;
}

}  // namespace

std::vector<std::string> FakeSystem::ProgramsRun() const { return Paths(events, "run"); }
std::vector<std::string> FakeSystem::ProgramsStarted() const { return Paths(events, "start"); }
bool FakeSystem::ended() const { return !Paths(events, "end").empty(); }

std::optional<std::string> FakeSystem::RunTempDirectory(std::string* error) {
  if (temp_dir_error) {
    if (error != nullptr) *error = *temp_dir_error;
    return std::nullopt;
  }
  if (!run_dir_) {
    const std::string dir = base_dir_ + PathSeparator() + "run";
    std::filesystem::create_directories(Utf8Path(dir));
    run_dir_ = dir + PathSeparator();
  }
  return run_dir_;
}

void FakeSystem::RemoveRunTempDirectory() {
  if (!run_dir_) return;
  // As the system's own: what cannot be removed (a file still open on Windows) stays.
  std::error_code ignored;
  std::filesystem::remove_all(Utf8Path(run_dir_->substr(0, run_dir_->size() - 1)), ignored);
  run_dir_removed_ = true;
}

std::optional<std::int64_t> FakeSystem::FreeSpace(const std::string& folder) {
  if (free_space) return free_space;
  return SystemServices::Default().FreeSpace(folder);
}

ProcessOutcome FakeSystem::RunProgramAndWait(const std::string& path) {
  events.push_back("run " + path);
  return run_program ? run_program(path) : SystemServices::Default().RunProgramAndWait(path);
}

bool FakeSystem::StartDetachedProgram(const std::string& path) {
  events.push_back("start " + path);
  return true;
}

void FakeSystem::EnumerateTopLevelWindows(
    const std::function<bool(const std::string& title)>& visit) {
  for (const std::string& title : window_titles) {
    if (!visit(title)) return;
  }
}

void FakeSystem::EndProcess(int exit_code) {
  events.push_back("end " + std::to_string(exit_code));
  if (really_exit) std::_Exit(exit_code);
  throw ProgramEnded(exit_code);
}

}  // namespace rariduze::testing
