#include "app/installer.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/window_list.h"
#include "tests/app/test_windows.h"
#include "tests/support/test_data.h"
#include "tests/support/test_dir.h"
#include "tests/support/xvfb_server.h"

namespace rariduze {
namespace {

using testing::LinesOf;
using testing::ReadFile;
using testing::ScopedDisplay;
using testing::TestDir;
using testing::TestWindows;
using testing::WriteFile;
using testing::XvfbServer;

// Waits, bounded, until done() holds.
bool WaitFor(const std::function<bool()>& done) {
  for (int attempt = 0; attempt < 500; ++attempt) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

void WriteScript(const std::string& path, const std::string& body, mode_t mode = 0755) {
  WriteFile(path, "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), mode);
}

// --- RunAndWait ----------------------------------------------------------------------------

TEST(RunAndWait, ReportsTheExitStatusOfTheProgram) {
  TestDir dir("run");
  WriteScript(dir.File("ok.exe"), "exit 0\n");
  WriteScript(dir.File("fails.exe"), "exit 3\n");

  ProcessOutcome ok = ModuloUp::RunAndWait(SystemServices::Default(), dir.File("ok.exe"));
  EXPECT_TRUE(ok.started) << ok.error;
  EXPECT_EQ(ok.exit_status, 0);
  EXPECT_TRUE(ok.Succeeded());

  ProcessOutcome fails = ModuloUp::RunAndWait(SystemServices::Default(), dir.File("fails.exe"));
  EXPECT_TRUE(fails.started) << fails.error;
  EXPECT_EQ(fails.exit_status, 3);
  EXPECT_FALSE(fails.Succeeded());
}

TEST(RunAndWait, ReturnsOnlyAfterTheProgramHasEnded) {
  TestDir dir("run");
  WriteScript(dir.File("slow.exe"), "sleep 0.3\necho done > '" + dir.File("marker") + "'\n");

  ProcessOutcome outcome = ModuloUp::RunAndWait(SystemServices::Default(), dir.File("slow.exe"));

  EXPECT_TRUE(outcome.Succeeded()) << outcome.error;
  EXPECT_EQ(ReadFile(dir.File("marker")), "done\n");
}

TEST(RunAndWait, KeepsWaitingWhenASignalInterruptsTheWait) {
  TestDir dir("run");
  WriteScript(dir.File("slow.exe"), "sleep 0.4\necho done > '" + dir.File("marker") + "'\n");
  struct sigaction quiet {};
  quiet.sa_handler = [](int) {};  // no SA_RESTART: the wait is interrupted
  struct sigaction saved {};
  ::sigaction(SIGALRM, &quiet, &saved);
  itimerval timer{};
  timer.it_value.tv_usec = 100 * 1000;
  ::setitimer(ITIMER_REAL, &timer, nullptr);

  ProcessOutcome outcome = ModuloUp::RunAndWait(SystemServices::Default(), dir.File("slow.exe"));

  ::sigaction(SIGALRM, &saved, nullptr);
  EXPECT_TRUE(outcome.Succeeded()) << outcome.error;
  EXPECT_EQ(ReadFile(dir.File("marker")), "done\n");
}

TEST(RunAndWait, RunsThePathAloneWithItsBlankAsProgramAndFirstArgument) {
  TestDir dir("run");
  std::filesystem::create_directory(dir.File("Program Files"));
  std::string program = dir.File("Program Files/set up.exe");
  std::string marker = dir.File("marker");
  WriteScript(program,
              "printf '%s|%s|%s|%s\\n' \"$0\" \"$#\" \"$RARIDUZE_PROBE\" \"$(pwd -P)\" > '" +
                  marker + "'\n");
  std::filesystem::path old_directory = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  ::setenv("RARIDUZE_PROBE", "inherited value", 1);

  ProcessOutcome outcome = ModuloUp::RunAndWait(SystemServices::Default(), program);

  ::unsetenv("RARIDUZE_PROBE");
  std::filesystem::current_path(old_directory);
  EXPECT_TRUE(outcome.Succeeded()) << outcome.error;
  std::string here = std::filesystem::canonical(dir.path()).string();
  EXPECT_EQ(ReadFile(marker), program + "|0|inherited value|" + here + "\n");
}

TEST(RunAndWait, ReportsAProgramThatCannotBeStartedAsNotStarted) {
  TestDir dir("run");
  WriteScript(dir.File("not executable.exe"), "exit 0\n", 0644);
  WriteScript(dir.File("no interpreter.exe"), "exit 0\n");
  WriteFile(dir.File("no interpreter.exe"), "#!/nonexistent/shell\nexit 0\n");
  WriteFile(dir.File("garbage.exe"),
            "\x7f"
            "ELF not really\n");
  ::chmod(dir.File("garbage.exe").c_str(), 0755);
  std::filesystem::create_directory(dir.File("folder.exe"));

  for (const char* name :
       {"missing.exe", "not executable.exe", "no interpreter.exe", "garbage.exe", "folder.exe"}) {
    SCOPED_TRACE(name);
    ProcessOutcome outcome = ModuloUp::RunAndWait(SystemServices::Default(), dir.File(name));
    EXPECT_FALSE(outcome.started);
    EXPECT_FALSE(outcome.Succeeded());
    EXPECT_FALSE(outcome.error.empty());
  }
  EXPECT_FALSE(ModuloUp::RunAndWait(SystemServices::Default(), "").started);
}

TEST(RunAndWait, NamesWhyAProgramCannotBeStarted) {
  TestDir dir("run");
  WriteScript(dir.File("setup.exe"), "exit 0\n", 0644);
  std::filesystem::create_directory(dir.File("folder.exe"));

  EXPECT_EQ(ModuloUp::RunAndWait(SystemServices::Default(), dir.File("setup.exe")).error,
            dir.File("setup.exe") + " is not executable");
  EXPECT_EQ(ModuloUp::RunAndWait(SystemServices::Default(), dir.File("folder.exe")).error,
            dir.File("folder.exe") + " is not a regular file");
  EXPECT_EQ(ModuloUp::RunAndWait(SystemServices::Default(), dir.File("missing.exe")).error,
            dir.File("missing.exe") + ": No such file or directory");
}

// A parent that ignores SIGCHLD hands that on across exec; the exit status of every child is
// then thrown away before anyone can wait for it.
TEST(RunAndWait, SeesTheExitStatusOnceAnInheritedIgnoredChildSignalIsUndone) {
  TestDir dir("run");
  WriteScript(dir.File("fails.exe"), "exit 3\n");
  WriteScript(dir.File("ok.exe"), "exit 0\n");
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction saved {};
  ::sigaction(SIGCHLD, &ignore, &saved);

  ResetChildEndHandling();
  ProcessOutcome fails = ModuloUp::RunAndWait(SystemServices::Default(), dir.File("fails.exe"));
  ProcessOutcome ok = ModuloUp::RunAndWait(SystemServices::Default(), dir.File("ok.exe"));

  ::sigaction(SIGCHLD, &saved, nullptr);
  EXPECT_EQ(fails.exit_status, 3) << fails.error;
  EXPECT_TRUE(ok.Succeeded()) << ok.error;
}

TEST(RunAndWait, AChildSignalHandlerOfThisProcessIsLeftInPlace) {
  struct sigaction handler {};
  handler.sa_handler = [](int) {};
  struct sigaction saved {};
  ::sigaction(SIGCHLD, &handler, &saved);

  ResetChildEndHandling();
  struct sigaction after {};
  ::sigaction(SIGCHLD, nullptr, &after);

  ::sigaction(SIGCHLD, &saved, nullptr);
  EXPECT_EQ(after.sa_handler, handler.sa_handler);
}

TEST(RunAndWait, ReportsTheSignalThatEndedTheProgram) {
  TestDir dir("run");
  WriteScript(dir.File("killed.exe"), "kill -TERM $$\nsleep 5\n");

  ProcessOutcome outcome = ModuloUp::RunAndWait(SystemServices::Default(), dir.File("killed.exe"));

  EXPECT_TRUE(outcome.started);
  EXPECT_EQ(outcome.signal, SIGTERM);
  EXPECT_FALSE(outcome.Succeeded());
}

// --- CheckWindowTitle ----------------------------------------------------------------------

class CheckWindowTitleTest : public ::testing::Test {
 protected:
  void SetUp() override { ModuloUp::AppRunning = false; }

  static bool Marks(const std::string& title) {
    ModuloUp::AppRunning = false;
    EXPECT_TRUE(ModuloUp::CheckWindowTitle(title));
    return ModuloUp::AppRunning;
  }
};

TEST_F(CheckWindowTitleTest, FindsTheMarkAnywhereInTheTitleInExactCase) {
  EXPECT_TRUE(Marks("Zentri Computer"));
  EXPECT_TRUE(Marks("Welcome - Zentri Computer - version 2"));
  EXPECT_TRUE(Marks("Zentri Computer \xE2\x80\x94 \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1"));
  EXPECT_FALSE(Marks("zentri computer"));
  EXPECT_FALSE(Marks("ZENTRI COMPUTER"));
  EXPECT_FALSE(Marks("Zentri  Computer"));
  EXPECT_FALSE(Marks(""));
  EXPECT_FALSE(Marks(std::string("Editor\0Zentri Computer", 22)));
}

TEST_F(CheckWindowTitleTest, LooksOnlyAtTheFirst259Characters) {
  EXPECT_TRUE(Marks(std::string(244, 'x') + "Zentri Computer"));
  EXPECT_FALSE(Marks(std::string(245, 'x') + "Zentri Computer"));
  std::string wide;  // 244 two-byte characters: counted as characters, not bytes
  for (int i = 0; i < 244; ++i) wide += "\xC3\xA9";
  EXPECT_TRUE(Marks(wide + "Zentri Computer"));
  EXPECT_FALSE(Marks(wide + "\xC3\xA9"
                            "Zentri Computer"));
}

TEST_F(CheckWindowTitleTest, OnceSetTheFlagStaysSet) {
  EXPECT_TRUE(ModuloUp::CheckWindowTitle("Zentri Computer"));
  EXPECT_TRUE(ModuloUp::CheckWindowTitle("Another window"));
  EXPECT_TRUE(ModuloUp::AppRunning);
}

// --- The restart at exit -------------------------------------------------------------------

// A temporary application directory with a stand-in for the served application that records
// each start: its pid, its session and where its standard streams go.
class ServedApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override { ModuloUp::AppRunning = false; }

  void InstallServedApplication() {
    WriteScript(app_dir_ + ModuloUp::kServedAppFile,
                "session=$(sed 's/.*) //' /proc/$$/stat | cut -d' ' -f4)\n"
                "line=\"$$ $session $(readlink /proc/$$/fd/0) $(readlink /proc/$$/fd/1) "
                "$(readlink /proc/$$/fd/2)\"\n"
                "echo \"$line\" >> '" +
                    marker_ + "'\n");
  }

  // The starts, once every stand-in started has recorded itself and ended: the programs that
  // RestartServedApplication started are running by the time it returns, so a second start
  // shows here too.
  std::vector<std::string> WaitForStarts() {
    EXPECT_TRUE(WaitFor([&] { return !ReadFile(marker_).empty() && !StandInRunning(); }));
    return LinesOf(ReadFile(marker_));
  }

  bool StandInRunning() const {
    namespace fs = std::filesystem;
    std::error_code ignored;
    for (auto it = fs::directory_iterator("/proc", ignored); it != fs::directory_iterator();
         it.increment(ignored)) {
      // A process that has ended has an empty command line.
      const std::string command_line = ReadFile((it->path() / "cmdline").string());
      if (command_line.find(app_dir_) != std::string::npos) return true;
    }
    return false;
  }

  TestDir app_{"app"};
  std::string app_dir_ = app_.path() + "/";
  std::string marker_ = app_.File("marker");
};

TEST_F(ServedApplicationTest, IsStartedWhenThereIsNoDesktop) {
  InstallServedApplication();
  ScopedDisplay none("");

  EXPECT_TRUE(ModuloUp::RestartServedApplication(SystemServices::Default(), app_dir_));
  EXPECT_EQ(WaitForStarts().size(), 1u);
}

TEST_F(ServedApplicationTest, MissingFromTheDirectoryIsIgnored) {
  ScopedDisplay none("");
  EXPECT_FALSE(ModuloUp::RestartServedApplication(SystemServices::Default(), app_dir_));
}

class RestartTest : public testing::WithTestDesktop<ServedApplicationTest> {};

TEST_F(RestartTest, RecognisesTheServedApplicationByItsWindowTitle) {
  struct Case {
    const char* title;
    bool mapped;
    bool counts;
  };
  for (const Case& c :
       {Case{"Zentri Computer", true, true}, Case{"Welcome to Zentri Computer 2024", true, true},
        Case{"zentri computer", true, false},
        // Hidden, as in the tray: the application is running all the same.
        Case{"Zentri Computer", false, true}}) {
    SCOPED_TRACE(c.title);
    Window window = windows_->Create(c.title, c.mapped);
    ModuloUp::AppRunning = false;
    EnumerateTopLevelWindows(ModuloUp::CheckWindowTitle);
    EXPECT_EQ(ModuloUp::AppRunning, c.counts);
    windows_->Destroy(window);
  }

  Window utf8 = windows_->Create("Zentri ?");
  windows_->SetUtf8Title(utf8, "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 Zentri Computer");
  ModuloUp::AppRunning = false;
  EnumerateTopLevelWindows(ModuloUp::CheckWindowTitle);
  EXPECT_TRUE(ModuloUp::AppRunning);
}

TEST_F(RestartTest, StartsTheServedApplicationOnceInItsOwnSessionWhenNoWindowIsMarked) {
  InstallServedApplication();
  windows_->Create("Some other program");
  windows_->Create("Some hidden helper", /*mapped=*/false);

  EXPECT_TRUE(ModuloUp::RestartServedApplication(SystemServices::Default(), app_dir_));

  std::vector<std::string> starts = WaitForStarts();
  ASSERT_EQ(starts.size(), 1u) << ReadFile(marker_);
  std::istringstream fields(starts[0]);
  pid_t pid = 0;
  pid_t session = 0;
  std::string input, output, error;
  fields >> pid >> session >> input >> output >> error;
  EXPECT_EQ(session, pid) << "not the leader of a session of its own";
  EXPECT_EQ(input, "/dev/null");
  EXPECT_EQ(output, "/dev/null");
  EXPECT_EQ(error, "/dev/null");
  // Once it has ended nothing of it is left behind, not even a zombie.
  EXPECT_TRUE(WaitFor([&] { return ::kill(pid, 0) != 0 && errno == ESRCH; }));
}

TEST_F(RestartTest, DoesNotStartItWhileItsWindowIsHiddenInTheTray) {
  InstallServedApplication();
  Window shown = windows_->Create("Some other program");
  // Withdrawn: not on screen, and left out of the window manager's list.
  windows_->Create("Zentri Computer", /*mapped=*/false);
  windows_->SetClientList({shown});

  EXPECT_FALSE(ModuloUp::RestartServedApplication(SystemServices::Default(), app_dir_));
  EXPECT_TRUE(ModuloUp::AppRunning);
}

TEST_F(RestartTest, DoesNotStartItWhileAMarkedWindowIsOpen) {
  InstallServedApplication();
  Window window = windows_->Create("Zentri Computer - Main");

  EXPECT_FALSE(ModuloUp::RestartServedApplication(SystemServices::Default(), app_dir_));
  EXPECT_TRUE(ModuloUp::AppRunning);

  // Started now that the window is gone: the marker then shows one start, this one.
  windows_->Destroy(window);
  ModuloUp::AppRunning = false;
  EXPECT_TRUE(ModuloUp::RestartServedApplication(SystemServices::Default(), app_dir_));
  EXPECT_EQ(WaitForStarts().size(), 1u);
}

}  // namespace
}  // namespace rariduze
