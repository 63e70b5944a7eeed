// The Windows process backend: programs started by full path, waited for, and left running.
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/process_windows.h"
#include "tests/support/host.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

class WindowsProcessTest : public ::testing::Test {
 protected:
  void TearDown() override { SetElevationForTesting(ElevationForTesting::kAsTheSystemSays); }

  // A copy of the stand-in program under the given name.
  std::string StandIn(const std::string& name, const char* built = RARIDUZE_TEST_STAND_IN) {
    const std::string path = dir_.File(name);
    std::filesystem::copy_file(PlatformPath(built), path);
    return path;
  }
  bool MarkAppears() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (!ReadFile(mark_).empty()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  TestDir dir_{"process"};
  std::string mark_ = dir_.File("ran.txt");
  ScopedEnv mark_env_{"RARIDUZE_STAND_IN_MARK", mark_};
};

TEST_F(WindowsProcessTest, RunsAProgramWhosePathHasBlanksAndReturnsItsExitCode) {
  const std::string program = StandIn("Zentri Pc.exe");
  for (int status : {7, 0}) {
    ScopedEnv exit_code("RARIDUZE_STAND_IN_EXIT", std::to_string(status));

    ProcessOutcome outcome = RunProgramAndWait(program);

    EXPECT_TRUE(outcome.started) << outcome.error;
    EXPECT_EQ(outcome.exit_status, status);
    EXPECT_EQ(outcome.Succeeded(), status == 0);
  }
  // Started by its path alone: no argument follows the program's name.
  EXPECT_EQ(ReadFile(mark_), program + "\n" + program + "\n");
}

TEST_F(WindowsProcessTest, AProgramThatCannotStartSaysWhy) {
  ProcessOutcome missing = RunProgramAndWait(dir_.File("setupZT.exe"));
  EXPECT_FALSE(missing.started);
  EXPECT_NE(missing.error.find("setupZT.exe"), std::string::npos) << missing.error;

  WriteFile(dir_.File("text.exe"), "this is no program");
  ProcessOutcome no_program = RunProgramAndWait(dir_.File("text.exe"));
  EXPECT_FALSE(no_program.started);
  EXPECT_NE(no_program.error.find("text.exe"), std::string::npos) << no_program.error;

  EXPECT_FALSE(RunProgramAndWait("").started);
  EXPECT_TRUE(ReadFile(mark_).empty());
}

// Windows starts an installer that asks for administrator rights only once the user has agreed
// to the system's question; Wine asks nothing, so its first answer is made as Windows gives it.
TEST_F(WindowsProcessTest, AnInstallerThatNeedsAdministratorRightsRunsOnceTheUserAgrees) {
  const std::string program = StandIn("setup ZT.exe", RARIDUZE_TEST_ADMIN_STAND_IN);
  ScopedEnv exit_code("RARIDUZE_STAND_IN_EXIT", "7");
  SetElevationForTesting(ElevationForTesting::kRequired);

  ProcessOutcome outcome = RunProgramAndWait(program);

  EXPECT_TRUE(outcome.started) << outcome.error;
  EXPECT_EQ(outcome.exit_status, 7) << "the end of the elevated run was not awaited";
  EXPECT_EQ(ReadFile(mark_), program + "\n");
}

TEST_F(WindowsProcessTest, AnInstallerRefusedAdministratorRightsIsNotStarted) {
  const std::string program = StandIn("setupZT.exe", RARIDUZE_TEST_ADMIN_STAND_IN);
  SetElevationForTesting(ElevationForTesting::kRequiredAndDeclined);

  ProcessOutcome outcome = RunProgramAndWait(program);

  EXPECT_FALSE(outcome.started);
  EXPECT_EQ(outcome.error, program + ": the request for administrator rights was declined");
  EXPECT_FALSE(outcome.Succeeded());
  EXPECT_TRUE(ReadFile(mark_).empty());
}

TEST_F(WindowsProcessTest, ADetachedProgramRunsOnItsOwn) {
  const std::string program = StandIn("Zentri Pc.exe");
  ASSERT_TRUE(StartDetachedProgram(program));
  ASSERT_TRUE(MarkAppears());
  EXPECT_EQ(ReadFile(mark_), program + "\n");
  EXPECT_FALSE(StartDetachedProgram(dir_.File("missing.exe")));
}

}  // namespace
}  // namespace rariduze::testing
