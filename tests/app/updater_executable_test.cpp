// The built updater itself, run from an application folder of its own under a real X server and
// closed by a click on "Exit", as a person would.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/test_dir.h"
#include "tests/support/xvfb_server.h"

namespace rariduze::testing {
namespace {

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

int GeometryValue(const std::string& shell_output, const std::string& key) {
  std::istringstream lines(shell_output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(key + "=", 0) == 0) return std::stoi(line.substr(key.size() + 1));
  }
  return -1;
}

TEST(UpdaterExecutable, ExitClickLeavesNothingBehindAndStartsTheServedApplication) {
  XvfbServer xvfb;
  ASSERT_TRUE(xvfb.running()) << xvfb.error();
  ScopedDisplay display(xvfb.display());

  TestDir app("exe-app");
  for (const char* name : {"rariduze", "libvbuzip10.so"}) {
    std::filesystem::copy_file(std::string(RARIDUZE_TEST_APP_DIR) + "/" + name, app.File(name));
  }
  WriteFile(app.File("versionZT.dat"), "1.0.22\r\n");
  // The served application: the stand-in program, which the updater's environment tells
  // where to leave its mark.
  std::filesystem::copy_file(RARIDUZE_TEST_STAND_IN, app.File("Zentri Pc.exe"));

  // The updater's private temporary folder, with the folder of another run in it.
  TestDir temp_base("exe-tmp");
  const std::string temp = temp_base.File("rariduze-" + std::to_string(::geteuid()));
  ASSERT_EQ(::mkdir(temp.c_str(), 0700), 0);
  ASSERT_EQ(::mkdir((temp + "/another-run").c_str(), 0700), 0);
  WriteFile(temp + "/another-run/ZTVersion", "1.0.23\r\n");
  const char* old_tmpdir = std::getenv("TMPDIR");
  const std::string saved_tmpdir = old_tmpdir != nullptr ? old_tmpdir : "";
  ::setenv("TMPDIR", temp_base.path().c_str(), 1);
  ::setenv("RARIDUZE_STAND_IN_MARK", app.File("started").c_str(), 1);
  ChildProcess updater({app.File("rariduze")}, app.File("out.log"), app.File("err.log"));
  ::unsetenv("RARIDUZE_STAND_IN_MARK");
  if (old_tmpdir != nullptr)
    ::setenv("TMPDIR", saved_tmpdir.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
  ASSERT_TRUE(updater.started());

  ProgramRun search =
      RunProgram({"xdotool", "search", "--sync", "--onlyvisible", "--name", "ZT --> Check update"},
                 std::chrono::seconds(30));
  ASSERT_EQ(search.exit_status, 0) << search.errors << ReadFile(app.File("err.log"));
  const std::string window = search.output.substr(0, search.output.find('\n'));
  ProgramRun geometry =
      RunProgram({"xdotool", "getwindowgeometry", "--shell", window}, std::chrono::seconds(10));
  const int height = GeometryValue(geometry.output, "HEIGHT");
  ASSERT_GT(height, 0) << geometry.output;

  // "Exit" sits at 3735..5460 twips across and 45..1545 down in the 1800-twip client area,
  // which ends at the bottom of the window (15 twips per pixel at Xvfb's 96 dpi).
  const int x = (3735 + 1725 / 2) / 15;
  const int y = height - (1800 - 795) / 15;
  ProgramRun click = RunProgram({"xdotool", "mousemove", "--window", window, std::to_string(x),
                                 std::to_string(y), "click", "1"},
                                std::chrono::seconds(10));
  ASSERT_EQ(click.exit_status, 0) << click.errors;

  std::optional<int> status = updater.Wait(std::chrono::seconds(20));
  ASSERT_TRUE(status.has_value()) << "the updater did not end after Exit";
  EXPECT_EQ(*status, 0);
  // Nothing of this run is left, and nothing of the other run is taken.
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(temp)) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"another-run"});
  EXPECT_EQ(ReadFile(temp + "/another-run/ZTVersion"), "1.0.23\r\n");
  EXPECT_TRUE(WaitFor([&] { return FileIsThere(app.File("started")); }, std::chrono::seconds(10)));
  EXPECT_EQ(ReadFile(app.File("started")), app.File("Zentri Pc.exe") + "\n");
}

}  // namespace
}  // namespace rariduze::testing
