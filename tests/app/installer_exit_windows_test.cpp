// Windows installers end with 3010 or 1641 when they have done their work but the computer
// must restart: the update has succeeded all the same. Any other code but 0 is a failure.
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
  };
  for (const Case& c : {Case{0, true}, Case{3010, true}, Case{1641, true}, Case{4, false},
                        Case{1603, false}, Case{3011, false}}) {
    SCOPED_TRACE(c.code);
    ScopedEnv mark("RARIDUZE_STAND_IN_MARK", std::nullopt);
    ScopedEnv exit_code("RARIDUZE_STAND_IN_EXIT", std::to_string(c.code));
    ProcessOutcome outcome =
        ModuloUp::RunAndWait(SystemServices::Default(), PlatformPath(RARIDUZE_TEST_STAND_IN));
    EXPECT_TRUE(outcome.started) << outcome.error;
    EXPECT_EQ(outcome.exit_status, c.code);
    EXPECT_EQ(outcome.Succeeded(), c.succeeded);
  }
}

}  // namespace
}  // namespace rariduze
