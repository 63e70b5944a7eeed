#include "platform/system_services.h"

#include "platform/dialup.h"
#include "platform/system_paths.h"
#include "platform/window_list.h"

namespace rariduze {
namespace {

class MachineServices : public SystemServices {
 public:
  std::optional<std::string> RunTempDirectory(std::string* error) override {
    if (!run_dir_) run_dir_ = PrivateTempDirectory(error);
    return run_dir_;
  }
  void RemoveRunTempDirectory() override {}
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

}  // namespace rariduze
