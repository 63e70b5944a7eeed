#include "platform/system_services.h"

#include "platform/dialup.h"
#include "platform/run_directory.h"
#include "platform/system_paths.h"
#include "platform/window_list.h"

namespace rariduze {
namespace {

class MachineServices : public SystemServices {
 public:
  // A folder of this run's own inside the user's private one: nothing another run (or
  // another account, where the user's temporary folder is shared) writes can be taken for
  // what this run downloaded, verified and extracts.
  std::optional<std::string> RunTempDirectory(std::string* error) override {
    if (!run_dir_) {
      std::optional<std::string> parent = PrivateTempDirectory(error);
      if (!parent) return std::nullopt;
      run_dir_ = MakeRunDirectory(*parent, error);
    }
    return run_dir_;
  }
  void RemoveRunTempDirectory() override {
    if (run_dir_) RemoveDirectoryTree(*run_dir_);
  }
  std::optional<std::int64_t> FreeSpace(const std::string& folder) override {
    return FreeSpaceIn(folder);
  }
  ProcessOutcome RunProgramAndWait(const std::string& path) override {
    return rariduze::RunProgramAndWait(path);
  }
  bool StartDetachedProgram(const std::string& path) override {
    return rariduze::StartDetachedProgram(path);
  }
  void EnumerateTopLevelWindows(
      const std::function<bool(const std::string& title)>& visit) override {
    rariduze::EnumerateTopLevelWindows(visit);
  }
  int CountActiveDialUpConnections() override { return rariduze::CountActiveDialUpConnections(); }
  [[noreturn]] void EndProcess(int exit_code) override { rariduze::EndProcess(exit_code); }

 private:
  std::optional<std::string> run_dir_;
};

}  // namespace

SystemServices& SystemServices::Default() {
  static auto* services = new MachineServices();
  return *services;
}

std::unique_ptr<SystemServices> SystemServices::ForAnotherRun() {
  return std::make_unique<MachineServices>();
}

}  // namespace rariduze
