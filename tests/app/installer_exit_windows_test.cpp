// Windows installers end with 3010 or 1641 when they have done their work but the computer
// must restart (with 1641 they have begun the restart themselves): the update has succeeded all
// the same. Any other code but 0 is a failure.
#include <string>

#include <gtest/gtest.h>

#include "app/installer.h"
#include "tests/support/host.h"

namespace rariduze {
namespace {

using testing::PlatformPath;
using testing::ScopedEnv;

TEST(RunAndWaitOnWindows, ExitCodesThatAskForARestartAreSuccess) {
  struct Case {
    int code;
    bool succeeded;
    bool restart_needed;
    bool restart_initiated;  // by the installer itself
  };
  for (const Case& c : {Case{0, true, false, false}, Case{3010, true, true, false},
                        Case{1641, true, true, true}, Case{4, false, false, false},
                        Case{1603, false, false, false}, Case{3011, false, false, false}}) {
    SCOPED_TRACE(c.code);
    ScopedEnv mark("RARIDUZE_STAND_IN_MARK", std::nullopt);
    ScopedEnv exit_code("RARIDUZE_STAND_IN_EXIT", std::to_string(c.code));
    ProcessOutcome outcome =
        ModuloUp::RunAndWait(SystemServices::Default(), PlatformPath(RARIDUZE_TEST_STAND_IN));
    EXPECT_TRUE(outcome.started) << outcome.error;
    EXPECT_EQ(outcome.exit_status, c.code);
    EXPECT_EQ(outcome.Succeeded(), c.succeeded);
    EXPECT_EQ(outcome.restart_needed, c.restart_needed);
    EXPECT_EQ(outcome.restart_initiated, c.restart_initiated);
  }
}

}  // namespace
}  // namespace rariduze
